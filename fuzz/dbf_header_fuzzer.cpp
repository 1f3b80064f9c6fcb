// Fuzzes the table reader and writer: the input is a .dbf file. It is opened
// read-only and every record and field is read in every way that fits the
// field; then it is opened for writing, a record is appended and one edited.
// Only qv::Error may come out.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/smt_file.h"
#include "store/xbase/table.h"

namespace {

// Memo files beside the table, so that memo references have data to hit.
void addMemoFiles(xb::MemEnv& env) {
    std::vector<std::uint8_t> smt = xb::SmtFile::newFileBytes();
    for (int i = 0; i < 300; ++i)
        smt.push_back(static_cast<std::uint8_t>(i * 7));
    smt[0] = 12;  // next free block after the data
    env.setFile("t.smt", smt);
    std::vector<std::uint8_t> other(2048, 'x');
    other[600] = 0x1A;
    other[4] = 0;
    other[5] = 0;
    other[6] = 0;
    other[7] = 64;
    env.setFile("t.dbt", other);
    env.setFile("t.fpt", other);
}

void readField(xb::Table& t, int i) {
    const xb::FieldDesc& f = t.field(i);
    t.raw(i);
    t.isBlank(i);
    switch (f.type) {
        case 'N':
        case 'F':
            t.number(i);
            break;
        case 'D':
            if (f.len == 8) t.date(i);
            break;
        case 'L':
            t.logical(i);
            break;
        case 'M':
            t.memoWritten(i);
            try {
                t.memoValue(i);
                t.getMemo(i);
            } catch (const qv::Error&) {
            }
            break;
    }
}

void readAll(xb::MemEnv& env) {
    auto t = xb::Table::open("t.dbf", xb::OpenMode::ReadOnly, env);
    int n = 0;
    for (t->goTop(); !t->eof() && n < 2000; t->skip(), ++n)
        for (int i = 0; i < static_cast<int>(t->fieldCount()); ++i)
            readField(*t, i);
    t->goBottom();
    for (int k = 0; k < 5 && !t->bof(); ++k)
        t->skip(-1);
}

void writeSome(xb::MemEnv& env) {
    auto t = xb::Table::open("t.dbf", xb::OpenMode::Exclusive, env);
    const bool had = t->recCount() > 0;
    t->append();
    for (int i = 0; i < static_cast<int>(t->fieldCount()); ++i) {
        try {
            switch (t->field(i).type) {
                case 'C':
                    t->replaceText(i, "fuzz");
                    break;
                case 'N':
                case 'F':
                    t->replaceNumber(i, -12.75);
                    break;
                case 'D':
                    t->replaceDate(i, 2451545);
                    break;
                case 'L':
                    t->replaceLogical(i, true);
                    break;
                case 'M':
                    t->replaceMemo(i, "memo text");
                    break;
            }
        } catch (const qv::Error&) {
        }
    }
    t->commitRecord();
    if (had) {
        t->go(1);
        const std::string bytes = t->recordBytes();
        t->append();
        try {
            t->putRecordBytes(bytes);
        } catch (const qv::Error&) {
        }
        t->deleteRecord();
    }
    t->close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    {
        xb::MemEnv env(std::uint64_t{4} << 20);
        env.setFile("t.dbf", bytes);
        addMemoFiles(env);
        try {
            readAll(env);
        } catch (const qv::Error&) {
        }
    }
    {
        xb::MemEnv env(std::uint64_t{4} << 20);
        env.setFile("t.dbf", bytes);
        addMemoFiles(env);
        try {
            writeSome(env);
            readAll(env);
        } catch (const qv::Error&) {
        }
    }
    return 0;
}
