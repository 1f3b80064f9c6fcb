// Arbitrary bytes as an index file: open, walk every tag both ways, seek,
// count, go to positions, check, and change a copy. Damage must end in a
// qv::Error, never in a crash, a hang or a sanitizer report.
//
// Seed corpus: the fixture indexes (catalog/*.nsx, edge/*.nsx).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"

namespace {

constexpr int kMaxSteps = 5000;  // shared subtrees can make walks very long

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
    // The file lives in memory; 64 MiB are more than any input can ask for.
    xb::MemEnv env(std::uint64_t{64} << 20);
    const std::string path = "f.nsx";
    env.setFile(path, std::vector<std::uint8_t>(data, data + size));
    bool opened = false;
    try {
        auto file = xb::NsxFile::open(path, xb::NsxFile::Mode::ReadOnly, env);
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
            auto file = xb::NsxFile::open(path, xb::NsxFile::Mode::ReadWrite, env);
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
    return 0;
}
