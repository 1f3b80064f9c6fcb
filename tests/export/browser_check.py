#!/usr/bin/env python3
"""Opens an exported HTML page in headless Chromium and checks it as a reader
would use it: the page loads without console errors, typing into the filter
box narrows the entries table, and the filter stays quick on a large page.
Not part of the test suite (it needs a browser); run it by hand:

    browser_check.py PAGE.html FILTERTEXT EXPECTED_ROWS

A copy of the page gets a probe script that types FILTERTEXT into the filter
box, waits for the table to follow and writes what it saw into the page;
Chromium's --dump-dom hands the result back.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

page, text, expected = sys.argv[1], sys.argv[2], int(sys.argv[3])
browser = shutil.which("chromium") or shutil.which("chromium-browser")
if not browser:
    sys.exit("no chromium")

PROBE = """
<script>
window.addEventListener('load', function () {
  var t0 = performance.now();
  var box = document.getElementById('filter');
  var groups = document.querySelectorAll('#entries > tbody');
  box.value = %s;
  box.dispatchEvent(new Event('input'));
  setTimeout(function () {
    var t1 = performance.now();
    var shown = 0;
    for (var i = 0; i < groups.length; i++) if (!groups[i].hidden) shown++;
    var out = document.createElement('pre');
    out.id = 'probe';
    out.textContent = 'shown=' + shown + ' total=' + groups.length +
        ' filter_ms=' + Math.round(t1 - t0 - 60) +
        ' load_ms=' + Math.round(performance.timing.loadEventStart - performance.timing.navigationStart) +
        ' count=' + document.getElementById('count').textContent;
    document.body.appendChild(out);
  }, 300);
});
</script>
"""

with tempfile.TemporaryDirectory() as d:
    probe_page = os.path.join(d, "probe.html")
    with open(page, encoding="utf-8") as f:
        html = f.read()
    js_text = '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'
    with open(probe_page, "w", encoding="utf-8") as f:
        f.write(html.replace("</body>", PROBE % js_text + "</body>"))
    started = time.time()
    r = subprocess.run([browser, "--headless", "--no-sandbox", "--disable-gpu",
                        "--enable-logging=stderr", "--v=0", f"--user-data-dir={d}/profile",
                        "--virtual-time-budget=20000", "--dump-dom", "file://" + probe_page],
                       capture_output=True, text=True, timeout=300)
    wall = time.time() - started
    m = re.search(r'<pre id="probe">([^<]*)</pre>', r.stdout)
    if not m:
        sys.exit("the probe did not report:\n" + r.stderr[-2000:])
    print(f"chromium: {m.group(1)} wall_s={wall:.1f}")
    console = [line for line in r.stderr.splitlines()
               if "CONSOLE" in line or "Uncaught" in line]
    errors = [line for line in console if "rror" in line or "Uncaught" in line]
    for line in console:
        print("console:", line)
    shown = int(re.search(r"shown=(\d+)", m.group(1)).group(1))
    ok = not errors and shown == expected
    print("ok" if ok else f"FAILED (errors={len(errors)}, shown={shown}, expected={expected})")
    sys.exit(0 if ok else 1)
