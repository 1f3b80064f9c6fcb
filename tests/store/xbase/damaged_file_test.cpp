// Damaged tables and memo files give a Corrupt error naming the file, never
// a crash or an endless loop.
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/table.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes fixture(const std::string& name) {
    return qvtest::readFile(qvtest::xbaseFixtures() / "catalog" / name);
}

struct Damage {
    const char* what;
    const char* table;  // fixture table the damage is done to
    bool onMemo;        // damage the .smt instead of the .dbf
    std::function<void(Bytes&)> apply;
    const char* textPart;  // expected in the German message
};

std::ostream& operator<<(std::ostream& o, const Damage& d) {
    return o << d.what;
}

class DamagedFile : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedFile, IsCorruptNamingTheFile) {
    const Damage& d = GetParam();
    qvtest::TempDir dir;
    qvtest::copyDirFiles(qvtest::xbaseFixtures() / "catalog", dir.path());
    const fs::path dbf = dir / (std::string(d.table) + ".dbf");
    const fs::path damaged = d.onMemo ? dir / (std::string(d.table) + ".smt") : dbf;
    Bytes bytes = qvtest::readFile(damaged);
    d.apply(bytes);
    qvtest::writeFile(damaged, bytes);
    for (xb::OpenMode mode : {xb::OpenMode::ReadOnly, xb::OpenMode::Exclusive}) {
        try {
            auto t = xb::Table::open(dbf.string(), mode);
            ADD_FAILURE() << d.what << ": opened";
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt) << e.text();
            EXPECT_EQ(e.file(), damaged.string());
            EXPECT_NE(e.text().find(damaged.string()), std::string::npos) << e.text();
            EXPECT_NE(e.text().find(d.textPart), std::string::npos) << e.text();
        }
    }
    // Nothing was changed by the failed opens.
    EXPECT_EQ(qvtest::readFile(damaged), bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFile,
    ::testing::Values(
        Damage{"empty file", "_katego", false, [](Bytes& b) { b.clear(); }, "unvollständig"},
        Damage{"cut in the fixed header", "_katego", false, [](Bytes& b) { b.resize(20); },
               "unvollständig"},
        Damage{"cut in the descriptors", "_qvdisk", false, [](Bytes& b) { b.resize(300); },
               "unvollständig"},
        Damage{"garbage version byte", "_katego", false, [](Bytes& b) { b[0] = 0x42; },
               "keine gültige DBF-Tabelle (Kennung 0x42)"},
        Damage{"record length one too big", "_verleih", false,
               [](Bytes& b) { xb::putU16LE(b.data() + 10, xb::getU16LE(b.data() + 10) + 1); },
               "Satzlänge"},
        Damage{"header length too small for the descriptors", "_katego", false,
               [](Bytes& b) { xb::putU16LE(b.data() + 8, 64); }, "Kopflänge 64"},
        Damage{"header length without room for the terminator", "_katego", false,
               [](Bytes& b) { xb::putU16LE(b.data() + 8, 96); }, "Kopflänge 96"},
        Damage{"header length beyond the file", "_katego", false,
               [](Bytes& b) { xb::putU16LE(b.data() + 8, 60000); }, "unvollständig"},
        Damage{"terminator missing", "_diskart", false, [](Bytes& b) { b[64] = 'X'; }, "Kopflänge"},
        Damage{"field of width 0", "_katego", false, [](Bytes& b) { b[32 + 16] = 0; }, "Breite 0"},
        Damage{"memo field in a table without memo file", "_katego", false,
               [](Bytes& b) { b[32 + 11] = 'M'; }, "keine Memodatei"},
        Damage{"memo block size 0", "_qvdisk", true,
               [](Bytes& b) { xb::putU32LE(b.data() + 4, 0); }, "Blockgröße ist 0"},
        Damage{"memo header cut short", "_qvdisk", true, [](Bytes& b) { b.resize(300); },
               "unvollständig"}),
    [](const ::testing::TestParamInfo<Damage>& i) { return "case" + std::to_string(i.index); });

// Random damage to every byte of the fixtures' headers and first records:
// opening and reading everything either works or raises qv::Error.
TEST(DamagedFile, RandomByteDamageNeverCrashes) {
    std::mt19937_64 rng(qvtest::testSeed());
    const char* tables[] = {"_qvdisk", "_qvdir", "_verleih", "tessarin"};
    for (const char* table : tables) {
        const Bytes dbf = fixture(std::string(table) + ".dbf");
        const fs::path smtPath =
            qvtest::xbaseFixtures() / "catalog" / (std::string(table) + ".smt");
        const Bytes smt = fs::exists(smtPath) ? qvtest::readFile(smtPath) : Bytes();
        for (int round = 0; round < 300; ++round) {
            Bytes d = dbf, m = smt;
            Bytes& target = (!m.empty() && round % 3 == 0) ? m : d;
            const std::size_t span = std::min<std::size_t>(target.size(), 1200);
            const int flips = 1 + static_cast<int>(rng() % 4);
            for (int k = 0; k < flips; ++k)
                target[rng() % span] = static_cast<std::uint8_t>(rng());
            if (round % 7 == 0) target.resize(rng() % target.size());
            xb::MemEnv env;
            env.setFile("t.dbf", d);
            if (!m.empty()) env.setFile("t.smt", m);
            try {
                auto t = xb::Table::open(
                    "t.dbf", round % 2 ? xb::OpenMode::Exclusive : xb::OpenMode::ReadOnly, env);
                for (t->goTop(); !t->eof(); t->skip()) {
                    for (int i = 0; i < static_cast<int>(t->fieldCount()); ++i) {
                        try {
                            switch (t->field(i).type) {
                                case 'N':
                                    t->number(i);
                                    break;
                                case 'M':
                                    t->getMemo(i);
                                    break;
                                case 'D':
                                    if (t->field(i).len == 8) t->date(i);
                                    break;
                                default:
                                    t->raw(i);
                            }
                        } catch (const qv::Error& e) {
                            EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt) << e.text();
                        }
                    }
                }
                t->close();
            } catch (const qv::Error& e) {
                EXPECT_TRUE(e.code() == qv::ErrorCode::Corrupt ||
                            e.code() == qv::ErrorCode::NotFound)
                    << e.text();
            }
        }
    }
}

}  // namespace
