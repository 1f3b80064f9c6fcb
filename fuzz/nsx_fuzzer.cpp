// Arbitrary bytes as an index file: open, walk every tag both ways, seek,
// count, go to positions, check, and change a copy. Damage must end in a
// qv::Error, never in a crash, a hang or a sanitizer report.
//
// Seed corpus: the fixture indexes (catalog/*.nsx, edge/*.nsx).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "store/xbase/error.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"

namespace {

constexpr int kMaxSteps = 5000;  // shared subtrees can make walks very long

// In memory where possible: close() syncs.
const std::string& tempPath() {
    static const std::string p = "/dev/shm/nsx_fuzz_" + std::to_string(::getpid()) + ".nsx";
    return p;
}

void writeBytes(const std::string& path, const std::uint8_t* data, std::size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

void exercise(xb::NsxTag& tag, const std::uint8_t* data, std::size_t size) {
    xb::NsxCursor c(tag);
    int steps = 0;
    for (bool ok = c.first(); ok && steps < kMaxSteps; ok = c.next(), ++steps)
        c.position();
    steps = 0;
    for (bool ok = c.last(); ok && steps < kMaxSteps; ok = c.prev(), ++steps) {
    }
    const std::string probe(reinterpret_cast<const char*>(data), size < 12 ? size : 12);
    c.seek(probe);
    c.seekLast(probe);
    c.seek("");
    const std::uint64_t n = tag.count();
    c.gotoPosition(n / 2 + 1);
    c.gotoPosition(n);
    tag.countBelowPrefix(probe);
    tag.countUpToPrefix(probe);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string& path = tempPath();
    writeBytes(path, data, size);
    bool opened = false;
    try {
        auto file = xb::NsxFile::open(path, xb::NsxFile::Mode::ReadOnly);
        opened = true;
        for (int i = 0; i < file->tagCount(); ++i) {
            try {
                exercise(file->tag(i), data, size);
            } catch (const qv::Error&) {
            }
        }
        file->verify();
    } catch (const qv::Error&) {
    }
    if (opened) {
        // Updates on the damaged file, then a check of what they left.
        try {
            auto file = xb::NsxFile::open(path);
            for (int i = 0; i < file->tagCount(); ++i) {
                xb::NsxTag& tag = file->tag(i);
                try {
                    const std::string key(reinterpret_cast<const char*>(data), size < 8 ? size : 8);
                    tag.insert(key, 70000);
                    tag.insert("A", 1);
                    tag.remove(key, 70000);
                    xb::NsxCursor c(tag);
                    if (c.first()) tag.remove(c.key(), c.recno());
                } catch (const qv::Error&) {
                }
            }
            file->flush();
            file->verify();
            file->close();
        } catch (const qv::Error&) {
        }
    }
    ::unlink(path.c_str());
    return 0;
}
