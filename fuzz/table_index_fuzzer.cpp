// A sound file table with its three tags, whose index file the input damages:
// the input is read as (offset, byte) patches on the good index. The table is
// opened over the damaged index (read-only and exclusively, which rebuilds an
// index it finds interrupted), every tag is walked, sought, counted and
// positioned, and the index is checked against the records. Damage must end
// in a qv::Error, never in a crash, a hang or a sanitizer report.
//
// No seed corpus is needed: every input damages the same good file.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "store/tables/cataloguetables.h"
#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_check.h"
#include "store/xbase/table_index.h"

namespace {

constexpr int kMaxSteps = 3000;

const std::string kTable = "_qvdir.dbf";
const std::string kIndex = "_qvdir.nsx";

using Files = std::map<std::string, std::vector<std::uint8_t>>;

// Builds the table once, in memory, and returns its good files.
const Files& goodFiles() {
    static const Files good = [] {
        xb::MemEnv env;
        auto t = qv::tables::createIndexedTable(qv::tables::layoutOf(qv::CatalogueTable::Files),
                                                kTable, env);
        for (int i = 1; i <= 600; ++i) {
            t->append();
            t->replaceNumber(0, i % 7 == 0 ? 99999999 : 1 + i / 60);
            t->replaceText(1, "F" + std::to_string(i * 37 % 101));
            t->replaceText(2, i % 2 ? "TXT" : "EXE");
            t->replaceText(3, "\\d" + std::to_string(i % 9) + "\\ F" + std::to_string(i));
            if (i % 11 == 0) t->deleteRecord();
        }
        t->close();
        Files files;
        for (const std::string& name : env.fileNames())
            files[name] = env.fileBytes(name);
        return files;
    }();
    return good;
}

void exercise(xb::Table& t) {
    for (int pos = 1; pos <= t.index().tagCount(); ++pos) {
        t.index().setOrder(pos);
        t.index().count();
        int steps = 0;
        for (t.goTop(); !t.eof() && steps < kMaxSteps; t.skip(), ++steps)
            t.index().orderRecNo();
        steps = 0;
        for (t.goBottom(); !t.bof() && !t.eof() && steps < kMaxSteps; t.skip(-1), ++steps) {
        }
        t.index().seek("       5");
        t.index().seek("F5");
        t.index().setScope(std::string("       3"), std::string("       3\xff"));
        t.index().count();
        t.index().orderRecNo();
        t.goBottom();
        t.index().orderRecNo();
        t.index().gotoOrderPosition(7);
        t.index().recnoAtOrderPosition(3);
        t.index().clearScope();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Files& good = goodFiles();
    std::vector<std::uint8_t> nsx = good.at(kIndex);
    if (nsx.size() <= 1024) return 0;
    // Patches: two bytes of offset into the pages after the root, one byte of value.
    for (std::size_t i = 0; i + 3 <= size && i < 3 * 64; i += 3) {
        const std::size_t span = nsx.size() - 1024;
        const std::size_t off = 1024 + ((data[i] | (data[i + 1] << 8)) * 7u) % span;
        nsx[off] = data[i + 2];
    }
    xb::MemEnv env;
    for (const auto& [name, bytes] : good)
        env.setFile(name, bytes);
    env.setFile(kIndex, std::move(nsx));
    xb::SettingsGuard guard;
    xb::settings().deleted = size % 2 == 0;
    xb::settings().softSeek = true;
    for (const xb::OpenMode mode : {xb::OpenMode::ReadOnly, xb::OpenMode::Exclusive}) {
        try {
            auto t = xb::Table::open(kTable, mode, env);
            exercise(*t);
            xb::checkIndex(*t);
            t->close();
        } catch (const qv::Error&) {
        }
    }
    return 0;
}
