#!/usr/bin/env python3
"""Opens an exported HTML page in headless Chromium, driven through its
DevTools protocol, and checks it as a reader would use it: the page loads
without console errors or exceptions, typing into the filter box narrows the
entries table to the expected rows, and the page stays quick (load time,
filter latency, opening the largest file list). Not part of the test suite
(it needs a browser); run it by hand:

    browser_check.py PAGE.html FILTERTEXT EXPECTED_ROWS
"""
import base64
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

page, text, expected = os.path.abspath(sys.argv[1]), sys.argv[2], int(sys.argv[3])
browser = shutil.which("chromium") or shutil.which("chromium-browser")
if not browser:
    sys.exit("no chromium")


class Socket:
    """The few parts of a WebSocket client the protocol needs."""

    def __init__(self, url):
        m = re.match(r"ws://([^:/]+):(\d+)(/.*)", url)
        self.s = socket.create_connection((m.group(1), int(m.group(2))))
        key = base64.b64encode(os.urandom(16)).decode()
        self.s.sendall((f"GET {m.group(3)} HTTP/1.1\r\nHost: {m.group(1)}\r\n"
                        "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                        f"Sec-WebSocket-Key: {key}\r\nSec-WebSocket-Version: 13\r\n\r\n").encode())
        head = b""
        while b"\r\n\r\n" not in head:
            head += self.s.recv(1)
        self.rest = b""

    def _read(self, n):
        while len(self.rest) < n:
            chunk = self.s.recv(1 << 16)
            if not chunk:
                raise EOFError
            self.rest += chunk
        out, self.rest = self.rest[:n], self.rest[n:]
        return out

    def send(self, text):
        data = text.encode()
        mask = os.urandom(4)
        n = len(data)
        head = bytes([0x81]) + (bytes([0x80 | n]) if n < 126 else
                                bytes([0x80 | 126]) + n.to_bytes(2, "big") if n < 65536 else
                                bytes([0x80 | 127]) + n.to_bytes(8, "big"))
        self.s.sendall(head + mask + bytes(b ^ mask[i % 4] for i, b in enumerate(data)))

    def receive(self):
        message = b""
        while True:
            b0, b1 = self._read(2)
            n = b1 & 0x7F
            if n == 126:
                n = int.from_bytes(self._read(2), "big")
            elif n == 127:
                n = int.from_bytes(self._read(8), "big")
            message += self._read(n)
            if b0 & 0x80:
                return message.decode()


class Page:
    def __init__(self, ws):
        self.ws, self.next_id, self.events = ws, 0, []

    def call(self, method, **params):
        self.next_id += 1
        self.ws.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            msg = json.loads(self.ws.receive())
            if msg.get("id") == self.next_id:
                if "error" in msg:
                    raise RuntimeError(msg["error"])
                return msg["result"]
            self.events.append(msg)

    def wait_event(self, name, timeout=300):
        end = time.time() + timeout
        while time.time() < end:
            for e in self.events:
                if e.get("method") == name:
                    return e
            self.events.append(json.loads(self.ws.receive()))
        raise TimeoutError(name)

    def evaluate(self, expression):
        r = self.call("Runtime.evaluate", expression=expression, awaitPromise=True,
                      returnByValue=True)
        if "exceptionDetails" in r:
            raise RuntimeError(r["exceptionDetails"])
        return r["result"]["value"]


FILTER = """
(async () => {
  const box = document.getElementById('filter'), count = document.getElementById('count');
  const groups = document.querySelectorAll('#entries > tbody');
  const changed = new Promise(done => {
    const o = new MutationObserver(() => { o.disconnect(); done(); });
    o.observe(count, {childList: true, characterData: true, subtree: true});
  });
  const t0 = performance.now();
  box.value = %s;
  box.dispatchEvent(new Event('input'));
  await changed;
  await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));
  const t1 = performance.now();
  let shown = 0;
  for (const g of groups) if (!g.hidden) shown++;
  return {shown: shown, total: groups.length, filter_ms: Math.round(t1 - t0),
          count: count.textContent};
})()
"""

OPEN_LARGEST = """
(async () => {
  let largest = null, most = -1;
  for (const d of document.querySelectorAll('details')) {
    const n = d.querySelectorAll('tbody tr').length;
    if (n > most) { most = n; largest = d; }
  }
  if (!largest) return {files: 0, open_ms: 0};
  largest.closest('tbody').hidden = false;
  const t0 = performance.now();
  largest.open = true;
  await new Promise(r => requestAnimationFrame(() => requestAnimationFrame(r)));
  return {files: most, open_ms: Math.round(performance.now() - t0)};
})()
"""

with tempfile.TemporaryDirectory() as d:
    proc = subprocess.Popen([browser, "--headless", "--no-sandbox", "--disable-gpu",
                             "--remote-debugging-port=0", f"--user-data-dir={d}",
                             "about:blank"], stderr=subprocess.PIPE, text=True)
    try:
        port = None
        for line in proc.stderr:
            m = re.search(r"DevTools listening on ws://[^:]+:(\d+)/", line)
            if m:
                port = int(m.group(1))
                break
        targets = json.load(urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list"))
        target = next(t for t in targets if t["type"] == "page")
        p = Page(Socket(target["webSocketDebuggerUrl"]))
        for domain in ("Page", "Runtime", "Log"):
            p.call(f"{domain}.enable")
        t0 = time.time()
        p.call("Page.navigate", url="file://" + page)
        p.wait_event("Page.loadEventFired")
        load_s = time.time() - t0
        filtered = p.evaluate(FILTER % json.dumps(text))
        opened = p.evaluate(OPEN_LARGEST)
        time.sleep(0.5)
        p.call("Runtime.evaluate", expression="1")  # collects pending events
        problems = [e for e in p.events
                    if e.get("method") == "Runtime.exceptionThrown"
                    or (e.get("method") == "Runtime.consoleAPICalled"
                        and e["params"]["type"] in ("error", "assert"))
                    or (e.get("method") == "Log.entryAdded"
                        and e["params"]["entry"]["level"] == "error")]
    finally:
        proc.terminate()
        proc.wait()

print(f"load {load_s:.2f} s; filter {filtered}; largest file list {opened}")
for e in problems:
    print("console:", json.dumps(e["params"])[:300])
ok = not problems and filtered["shown"] == expected
print("ok" if ok else f"FAILED (problems={len(problems)}, shown={filtered['shown']}, "
      f"expected={expected})")
sys.exit(0 if ok else 1)
