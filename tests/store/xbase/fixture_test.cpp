// Reads every fixture table written by another xBase program and compares
// header, fields, records and memo files with the expected JSON.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>
#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include "store/xbase/smt_file.h"
#include "store/xbase/table.h"
#include "support/testutil.h"
#include "xbase_test_util.h"

namespace fs = std::filesystem;

namespace {

std::string hexOf(std::string_view s) {
    return qvtest::toHex(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
}

std::string rtrim(std::string_view s) {
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return std::string(s);
}

// Compares the table's current record with one element of "records".
void expectRecord(xb::Table& t, const QJsonObject& rec) {
    const int recno = rec["recno"].toInt();
    SCOPED_TRACE("record " + std::to_string(recno));
    ASSERT_EQ(t.recNo(), static_cast<std::uint32_t>(recno));
    EXPECT_EQ(t.deleted(), rec["deleted"].toBool());
    const QJsonObject f = rec["f"].toObject();
    ASSERT_EQ(static_cast<std::size_t>(f.size()), t.fieldCount());
    for (int i = 0; i < static_cast<int>(t.fieldCount()); ++i) {
        const xb::FieldDesc& d = t.field(i);
        const QJsonValue v = f[QString::fromStdString(d.name)];
        SCOPED_TRACE(d.name);
        switch (d.type) {
            case 'C':
                EXPECT_EQ(rtrim(t.raw(i)), xbtest::toCp1252(v.toString()));
                break;
            case 'N':
                if (v.isNull()) {
                    EXPECT_TRUE(t.isBlank(i));
                } else {
                    EXPECT_FALSE(t.isBlank(i));
                    EXPECT_EQ(t.number(i), v.toDouble());
                }
                break;
            case 'D': {
                const std::string s = v.toString().toStdString();
                EXPECT_EQ(rtrim(t.raw(i)), s);
                EXPECT_EQ(t.date(i) == 0, s.empty());
                break;
            }
            case 'M':
                if (v.isNull()) {
                    EXPECT_FALSE(t.memoWritten(i));
                    EXPECT_EQ(t.getMemo(i), "");
                } else {
                    const QJsonObject m = v.toObject();
                    EXPECT_TRUE(t.memoWritten(i));
                    EXPECT_EQ(hexOf(t.raw(i)), m["ref_hex"].toString().toStdString());
                    const std::string text = t.getMemo(i);
                    EXPECT_EQ(text.size(), static_cast<std::size_t>(m["len"].toInt()));
                    EXPECT_EQ(hexOf(text), m["hex"].toString().toStdString());
                }
                break;
            default:
                ADD_FAILURE() << "unexpected field type " << d.type;
        }
    }
}

void expectHeaderAndFields(xb::Table& t, const fs::path& dbf, const QJsonObject& exp) {
    const QJsonObject h = exp["dbf"].toObject();
    const std::vector<std::uint8_t> bytes = qvtest::readFile(dbf);
    const xb::DbfHeader& hdr = t.header();
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(h["file_size"].toInt()));
    EXPECT_EQ(qvtest::toHex(&hdr.version, 1), h["version_hex"].toString().toStdString());
    EXPECT_EQ(hdr.storedCount, static_cast<std::uint32_t>(h["record_count"].toInt()));
    EXPECT_EQ(t.recCount(), hdr.storedCount);
    EXPECT_EQ(hdr.headerLength, h["header_len"].toInt());
    EXPECT_EQ(hdr.recordLength, h["record_len"].toInt());
    EXPECT_EQ(hdr.flags, h["byte28_flags"].toInt());
    EXPECT_EQ(hdr.language, h["byte29_language"].toInt());
    const std::string tail = h["header_tail_hex"].toString().toStdString();
    EXPECT_EQ(hdr.terminatorLength, tail.size() / 2);
    EXPECT_EQ(
        qvtest::toHex(bytes.data() + hdr.headerLength - hdr.terminatorLength, hdr.terminatorLength),
        tail);
    const std::size_t end = hdr.headerLength + std::size_t{t.recCount()} * hdr.recordLength;
    EXPECT_EQ(end < bytes.size() ? qvtest::toHex(bytes.data() + end, 1) : std::string(),
              h["eof_marker_hex"].toString().toStdString());

    const QJsonArray fields = exp["fields"].toArray();
    ASSERT_EQ(static_cast<std::size_t>(fields.size()), t.fieldCount());
    for (int i = 0; i < fields.size(); ++i) {
        const QJsonArray f = fields[i].toArray();
        const xb::FieldDesc& d = t.field(i);
        EXPECT_EQ(d.name, f[0].toString().toStdString());
        EXPECT_EQ(std::string(1, d.type), f[1].toString().toStdString());
        EXPECT_EQ(d.len, f[2].toInt());
        EXPECT_EQ(d.dec, f[3].toInt());
        EXPECT_EQ(d.offset, f[4].toInt());
        EXPECT_EQ(t.fieldIndex(f[0].toString().toLower().toStdString()), i);
    }
}

void expectMemoFile(xb::Table& t, const fs::path& dir, const QJsonObject& exp) {
    const QJsonValue mv = exp["memo"];
    if (mv.isNull()) {
        EXPECT_EQ(t.memoKind(), xb::MemoKind::None);
        return;
    }
    const QJsonObject m = mv.toObject();
    ASSERT_EQ(t.memoKind(), xb::MemoKind::Smt);
    xb::SmtFile* smt = t.smtFile();
    ASSERT_NE(smt, nullptr);
    const fs::path file = dir / m["file"].toString().toStdString();
    const std::vector<std::uint8_t> bytes = qvtest::readFile(file);
    EXPECT_EQ(smt->fileSize(), static_cast<std::uint64_t>(m["file_size"].toInt()));
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(m["file_size"].toInt()));
    EXPECT_EQ(smt->blockSize(), static_cast<std::uint32_t>(m["block_size"].toInt()));
    EXPECT_EQ(smt->blockSize(), static_cast<std::uint32_t>(m["hdr_block_size"].toInt()));
    EXPECT_EQ(smt->nextFreeBlock(), static_cast<std::uint32_t>(m["hdr_next_free_block"].toInt()));
    EXPECT_EQ(qvtest::toHex(bytes.data() + 8, 10), m["hdr_signature_hex"].toString().toStdString());
    const QJsonArray gc = m["hdr_gc_items_size_block"].toArray();
    ASSERT_EQ(smt->freeList().size(), static_cast<std::size_t>(gc.size()));
    for (int i = 0; i < gc.size(); ++i) {
        EXPECT_EQ(smt->freeList()[i].blocks,
                  static_cast<std::uint32_t>(gc[i].toArray()[0].toInt()));
        EXPECT_EQ(smt->freeList()[i].block, static_cast<std::uint32_t>(gc[i].toArray()[1].toInt()));
    }
    EXPECT_EQ(xbtest::checkMemoStructure(t), "");
}

struct FixtureCase {
    const char* set;
    const char* table;
};
std::ostream& operator<<(std::ostream& o, const FixtureCase& c) {
    return o << c.set << "/" << c.table;
}

class FixtureRead : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(FixtureRead, MatchesExpectedJson) {
    const fs::path dir = qvtest::xbaseFixtures() / GetParam().set;
    const std::string name = GetParam().table;
    const QJsonObject exp = xbtest::loadExpected((dir / "expected" / (name + ".json")).string());
    ASSERT_FALSE(exp.isEmpty());
    auto t = xb::Table::open((dir / (name + ".dbf")).string(), xb::OpenMode::ReadOnly);
    expectHeaderAndFields(*t, dir / (name + ".dbf"), exp);
    expectMemoFile(*t, dir, exp);

    // Every record, by record number and again by walking the natural order.
    const QJsonArray records = exp["records"].toArray();
    ASSERT_EQ(static_cast<std::uint32_t>(records.size()), t->recCount());
    for (const QJsonValue& r : records) {
        t->go(static_cast<std::uint32_t>(r.toObject()["recno"].toInt()));
        expectRecord(*t, r.toObject());
    }
    t->goTop();
    for (const QJsonValue& r : records) {
        ASSERT_FALSE(t->eof());
        expectRecord(*t, r.toObject());
        t->skip();
    }
    EXPECT_TRUE(t->eof());
}

INSTANTIATE_TEST_SUITE_P(
    Catalogue, FixtureRead,
    ::testing::Values(FixtureCase{"catalog", "_qvdisk"}, FixtureCase{"catalog", "_qvdir"},
                      FixtureCase{"catalog", "_endung"}, FixtureCase{"catalog", "_katego"},
                      FixtureCase{"catalog", "_diskart"}, FixtureCase{"catalog", "_verleih"},
                      FixtureCase{"catalog", "tessarin"}, FixtureCase{"edge", "_katego"},
                      FixtureCase{"edge", "_endung"}, FixtureCase{"edge", "_diskart"},
                      FixtureCase{"edge", "_verleih"}),
    [](const ::testing::TestParamInfo<FixtureCase>& i) {
        return std::string(i.param.set) + std::string(i.param.table);
    });

TEST(FixtureReadLarge, SampledRecordsMatch) {
    const fs::path dir = qvtest::largeFixture();
    if (dir.empty()) GTEST_SKIP() << "large fixture not unpacked";
    const QJsonObject exp = xbtest::loadExpected((dir / "expected" / "_qvdir.json").string());
    auto t = xb::Table::open((dir / "_qvdir.dbf").string(), xb::OpenMode::ReadOnly);
    expectHeaderAndFields(*t, dir / "_qvdir.dbf", exp);
    expectMemoFile(*t, dir, exp);
    EXPECT_EQ(t->recCount(), 70000u);
    const QJsonArray records = exp["records"].toArray();
    ASSERT_GT(records.size(), 100);
    for (const QJsonValue& r : records) {
        t->go(static_cast<std::uint32_t>(r.toObject()["recno"].toInt()));
        expectRecord(*t, r.toObject());
    }
    // A full walk reaches the end after exactly recCount() records.
    std::uint32_t n = 0;
    for (t->goTop(); !t->eof(); t->skip())
        ++n;
    EXPECT_EQ(n, 70000u);
}

}  // namespace
