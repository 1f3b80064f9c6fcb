// Index keys: key widths from the blank record, the byte forms evalKey()
// writes, FOR membership, and every key of the fixture tags reproduced from
// the record values.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "expr_test_support.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/expr.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

using exprtest::RecordBuilder;

// ---- key widths -------------------------------------------------------------------

TEST(ExprKey, WidthsFromTheBlankRecord) {
    const xb::FieldList disk = exprtest::diskLayout();
    const xb::FieldList dir = exprtest::dirLayout();
    const xb::FieldList other({{"N", 'N', 7, 2},
                               {"PRICE", 'N', 8, 2},
                               {"K", 'C', 6, 0},
                               {"D", 'D', 8, 0},
                               {"FLAG", 'L', 1, 0}});
    struct {
        const xb::FieldList& fields;
        const char* text;
        xb::ExprType type;
        std::size_t blankWidth;
        std::size_t keyLength;
    } cases[] = {
        {disk, "eindeutig", xb::ExprType::Numeric, 0, 8},
        {disk, "upper(bezeich)", xb::ExprType::Character, 50, 50},
        {disk, "str(boxnummer,5)+str(disknummer,5)", xb::ExprType::Character, 10, 10},
        {dir, "str(dirnumm,8)+dirpfad", xb::ExprType::Character, 94, 94},
        {dir, "upper(dirname+direndung)+str(dirnumm,8)", xb::ExprType::Character, 26, 26},
        {dir, "upper(direndung)+dirname+str(dirnumm,8)", xb::ExprType::Character, 26, 26},
        {other, "str(n)", xb::ExprType::Character, 7, 7},
        {other, "str(n, 12, 3) + upper(k)", xb::ExprType::Character, 18, 18},
        {other, "trim(k) + \"x\"", xb::ExprType::Character, 1, 1},
        {other, "trim(k)", xb::ExprType::Character, 0, 0},
        {other, "dtos(d)", xb::ExprType::Character, 8, 8},
        {other, "str(price, 0)", xb::ExprType::Character, 10, 10},
        {other, "price * 2", xb::ExprType::Numeric, 0, 8},
        {other, "d", xb::ExprType::Date, 0, 8},
        {other, "d + 1", xb::ExprType::Date, 0, 8},
        {other, "flag", xb::ExprType::Logical, 0, 1},
        {other, "price > 0", xb::ExprType::Logical, 0, 1},
        {dir, "dirpfad + dirpfad + dirpfad", xb::ExprType::Character, 258, 250},
    };
    for (const auto& c : cases) {
        xb::Expr e = xb::Expr::compile(c.text, c.fields);
        EXPECT_EQ(e.type(), c.type) << c.text;
        EXPECT_EQ(e.blankWidth(), c.blankWidth) << c.text;
        EXPECT_EQ(e.keyLength(), c.keyLength) << c.text;
    }
}

// ---- key bytes -----------------------------------------------------------------------

std::string keyHex(xb::Expr& e, const xb::RecordRef& r, std::size_t len) {
    std::vector<std::uint8_t> out(len, 0xEE);
    e.evalKey(r, out.data(), len);
    return qvtest::toHex(out.data(), out.size());
}

TEST(ExprKey, ByteFormsOfEveryType) {
    const xb::FieldList f(
        {{"N", 'N', 8, 2}, {"K", 'C', 6, 0}, {"D", 'D', 8, 0}, {"FLAG", 'L', 1, 0}});
    RecordBuilder rec(f);
    RecordBuilder blank(f);
    xb::Expr n = xb::Expr::compile("n", f);
    xb::Expr d = xb::Expr::compile("d", f);
    xb::Expr flag = xb::Expr::compile("flag", f);
    xb::Expr k = xb::Expr::compile("k", f);
    xb::Expr cut = xb::Expr::compile("trim(k) + 'x'", f);

    struct {
        const char* n;
        const char* hex;
    } numbers[] = {{"0", "8000000000000000"},
                   {"1", "bff0000000000000"},
                   {"-1", "400fffffffffffff"},
                   {"123.45", "c05edccccccccccd"}};
    for (const auto& c : numbers) {
        rec.set("n", c.n);
        EXPECT_EQ(keyHex(n, rec.ref(), 8), c.hex) << c.n;
    }
    // An N field never written is 0.
    EXPECT_EQ(keyHex(n, blank.ref(), 8), "8000000000000000");
    // Room past the 8 bytes is zeroed.
    rec.set("n", "1");
    EXPECT_EQ(keyHex(n, rec.ref(), 10),
              "bff000000000000000"
              "00");

    rec.set("d", "20000101");
    EXPECT_EQ(keyHex(d, rec.ref(), 8), "c142b42c80000000");
    rec.set("d", "20240101");
    EXPECT_EQ(keyHex(d, rec.ref(), 8), "c142c54b80000000");
    rec.set("d", "20241399");  // not a date: empty
    EXPECT_EQ(keyHex(d, rec.ref(), 8), "8000000000000000");
    EXPECT_EQ(keyHex(d, blank.ref(), 8), "8000000000000000");

    for (const char* t : {"T", "t", "Y", "y"}) {
        rec.set("flag", t);
        EXPECT_EQ(keyHex(flag, rec.ref(), 1), "54") << t;
    }
    for (const char* t : {"F", "N", "?", " "}) {
        rec.set("flag", t);
        EXPECT_EQ(keyHex(flag, rec.ref(), 1), "46") << t;
    }

    rec.set("k", "abc");
    EXPECT_EQ(keyHex(k, rec.ref(), 6), "616263202020");
    EXPECT_EQ(keyHex(k, rec.ref(), 8), "6162632020202020");  // padded with blanks
    EXPECT_EQ(keyHex(k, rec.ref(), 2), "6162");              // cut
    // A key whose blank width is 1 keeps only the first byte of longer values.
    EXPECT_EQ(cut.keyLength(), 1u);
    EXPECT_EQ(keyHex(cut, rec.ref(), cut.keyLength()), "61");

    std::uint8_t small[4];
    try {
        n.evalKey(rec.ref(), small, sizeof small);
        FAIL() << "no error";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::InvalidArgument);
        EXPECT_EQ(e.text(), "Der Schlüssel des Ausdrucks \"n\" passt nicht in 4 Bytes");
    }
    EXPECT_THROW(flag.evalKey(rec.ref(), small, 0), qv::Error);
}

// str() of a number field as wide as the result gives what formatting the
// field's value gives, whatever bytes the field holds.
TEST(ExprKey, StrOfAWholeNumberFieldAsFormatted) {
    const xb::FieldList f({{"N", 'N', 8, 0}, {"P", 'N', 8, 2}, {"W", 'N', 16, 0}});
    RecordBuilder rec(f);
    xb::Expr n = xb::Expr::compile("str(n,8)+'|'", f);
    xb::Expr n1 = xb::Expr::compile("str(n)", f);
    xb::Expr p = xb::Expr::compile("str(p,8)", f);  // no decimals
    xb::Expr p1 = xb::Expr::compile("str(p)", f);   // the field's two
    xb::Expr w = xb::Expr::compile("str(w,16)", f);
    const char* bytes[] = {"      12", "       0", "      -7",  "12345678", "-1234567", "00000012",
                           "     012", "12      ", "     +12",  "      -0", "        ", "     1.5",
                           "   1 2  ", "  -    ",  "\t     12", "1e3     ", "    -012"};
    for (const char* b : bytes) {
        std::string field(b);
        field.resize(8, ' ');
        const auto eval = [&](xb::Expr& e) {
            const xb::Value& v = e.evaluate(rec.ref());
            return std::string(v.chars);
        };
        rec.raw("n", field).raw("p", field);
        const double value = xb::parseNumber(field);
        EXPECT_EQ(eval(n), xb::formatNumber(value, 8, 0) + "|") << "[" << field << "]";
        EXPECT_EQ(eval(n1), xb::formatNumber(value, 8, 0)) << "[" << field << "]";
        EXPECT_EQ(eval(p), xb::formatNumber(value, 8, 0)) << "[" << field << "]";
        EXPECT_EQ(eval(p1), xb::formatNumber(value, 8, 2)) << "[" << field << "]";
        const std::string wide = std::string(8, ' ') + field;
        rec.raw("w", wide);
        EXPECT_EQ(eval(w), xb::formatNumber(xb::parseNumber(wide), 16, 0)) << "[" << wide << "]";
    }
}

// Keys of fields, capitals, constants and str() of numeric fields are made
// in place; whatever the field bytes hold, they must be the evaluated value,
// cut or padded with blanks to the key's length.
TEST(ExprKey, KeysMadeInPlaceAreTheEvaluatedValue) {
    const xb::FieldList f(
        {{"NAME", 'C', 10, 0}, {"NOTE", 'C', 5, 0}, {"MENGE", 'N', 6, 2}, {"ANZAHL", 'N', 5, 0}});
    const char* texts[] = {"upper(name+note)+str(anzahl,5)",
                           "str(anzahl,5)+name",
                           "'AB'+upper(name)+'-'+str(menge,8,2)",
                           "str(anzahl)+str(menge)",
                           "upper('xy'+note)+'z'",
                           "name+'ZZ'",
                           "str(menge,4)+note",
                           "str(anzahl,5,1)",
                           "lower(name)+str(anzahl,5)"};
    const char* names[] = {"abc", "Müller", "  lead", "x\xFF\xE4y", ""};
    const char* counts[] = {"    5", "   -3", "00012", "     ", "  1 2", "99999", " -0  ", "abcde"};
    const char* amounts[] = {"  1.50", "-12.25", "      ", "123456", " 1.5  "};
    for (const char* text : texts) {
        xb::Expr e = xb::Expr::compile(text, f);
        SCOPED_TRACE(text);
        RecordBuilder rec(f);
        for (const char* name : names)
            for (const char* count : counts)
                for (const char* amount : amounts) {
                    rec.set("name", name)
                        .set("note", name)
                        .raw("anzahl", count)
                        .raw("menge", amount);
                    const std::string value(e.evaluate(rec.ref()).chars);
                    for (const std::size_t keyLen :
                         {e.keyLength(), std::size_t{4}, std::size_t{40}}) {
                        std::string key(keyLen, '?');
                        e.evalKey(rec.ref(), reinterpret_cast<std::uint8_t*>(key.data()), keyLen);
                        std::string expected = value.substr(0, keyLen);
                        expected.resize(keyLen, ' ');
                        ASSERT_EQ(key, expected)
                            << "[" << name << "|" << count << "|" << amount << "] in " << keyLen;
                    }
                }
    }
}

// A numeric field against a constant is tested on the record without the
// tree; whatever the field bytes hold, the answer must be the tree's.
TEST(ExprKey, NumberTestsAgreeWithTheTree) {
    const xb::FieldList f({{"ANZAHL", 'N', 8, 0}, {"MENGE", 'N', 6, 2}});
    const char* texts[] = {"anzahl<99999999", "anzahl>=12",   "anzahl=-3",  "anzahl#0",
                           "12<anzahl",       "-3>=anzahl",   "menge<=1.5", "1.25=menge",
                           "anzahl<1000.5",   "anzahl>menge", "anzahl+1<5", "anzahl<>-0"};
    const char* counts[] = {"      12", "      -3", "99999999", "        ", "   1 2  ", "-       ",
                            "00000012", "  +12   ", "    12.7", "      -0", "abc     ", "\t     11",
                            "  12e3  ", "     1e3", "    1000", "99999998"};
    const char* amounts[] = {"  1.50", "  1.25", "     2", "-12.25", "      ", " 1.5  "};
    for (const char* text : texts) {
        xb::Expr e = xb::Expr::compileCondition(text, f);
        SCOPED_TRACE(text);
        RecordBuilder rec(f);
        for (const char* count : counts)
            for (const char* amount : amounts) {
                rec.raw("anzahl", count).raw("menge", amount);
                ASSERT_EQ(e.evalBool(rec.ref()), e.evaluate(rec.ref()).logical)
                    << "[" << count << "|" << amount << "]";
            }
    }
}

// ---- FOR membership --------------------------------------------------------------------

TEST(ExprKey, CatalogueConditions) {
    const xb::FieldList disk = exprtest::diskLayout();
    const xb::FieldList dir = exprtest::dirLayout();
    const xb::FieldList address = exprtest::addressLayout();
    RecordBuilder entry(disk), deletedEntry(disk), file(dir), released(dir), blankFile(dir);
    deletedEntry.deleted();
    file.number("dirnumm", 12);
    released.number("dirnumm", 99999999);
    xb::Expr notDeleted = xb::Expr::compileCondition("not deleted()", disk);
    EXPECT_TRUE(notDeleted.evalBool(entry.ref()));
    EXPECT_FALSE(notDeleted.evalBool(deletedEntry.ref()));
    deletedEntry.deleted(false);  // recalled
    EXPECT_TRUE(notDeleted.evalBool(deletedEntry.ref()));

    xb::Expr notReleased = xb::Expr::compileCondition("dirnumm<99999999", dir);
    EXPECT_TRUE(notReleased.evalBool(file.ref()));
    EXPECT_FALSE(notReleased.evalBool(released.ref()));
    EXPECT_TRUE(notReleased.evalBool(blankFile.ref()));

    xb::Expr byNumber = xb::Expr::compileCondition("not deleted() .and. vnummer<99999", address);
    xb::Expr byName =
        xb::Expr::compileCondition("not deleted() .and. vnummer>0 .and. vnummer<99999", address);
    struct {
        const char* number;  // nullptr: never written
        bool deleted;
        bool inNumberTag;
        bool inNameTags;
    } rows[] = {
        {nullptr, false, true, false},                                  // the no-address record
        {"0", false, true, false},     {"99999", false, false, false},  // the second placeholder
        {"1", false, true, true},      {"99998", false, true, true},   {"5", true, false, false},
    };
    for (const auto& row : rows) {
        RecordBuilder r(address);
        r.set("vname", "< Kein Eintrag >");
        if (row.number) r.set("vnummer", row.number);
        r.deleted(row.deleted);
        const std::string what = row.number ? row.number : "blank";
        EXPECT_EQ(byNumber.evalBool(r.ref()), row.inNumberTag) << what;
        EXPECT_EQ(byName.evalBool(r.ref()), row.inNameTags) << what;
    }
}

// ---- fixture tags -------------------------------------------------------------------------

struct Table {
    std::string name;
    xb::FieldList fields;
    std::vector<std::vector<std::uint8_t>> records;  // all records, from the table file
    QJsonObject json;
};

QJsonObject readJson(const fs::path& p) {
    QFile f(QString::fromStdString(p.string()));
    if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + p.string());
    return QJsonDocument::fromJson(f.readAll()).object();
}

std::string cp1252(const QString& s) {
    return xb::utf8ToCp1252(s.toStdString());
}

// The record bytes the JSON describes, built without the table code.
std::vector<std::uint8_t> recordFromJson(const xb::FieldList& fields, const QJsonObject& r) {
    std::vector<std::uint8_t> out(fields.recordLength(), ' ');
    out[0] = r["deleted"].toBool() ? '*' : ' ';
    const QJsonObject f = r["f"].toObject();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const xb::FieldDesc& d = fields[i];
        const QJsonValue v = f[QString::fromStdString(d.name)];
        char* p = reinterpret_cast<char*>(out.data() + d.offset);
        if (v.isNull()) continue;
        switch (d.type) {
            case 'C':
            case 'D': {
                const std::string s = cp1252(v.toString());
                std::memcpy(p, s.data(), std::min<std::size_t>(s.size(), d.len));
                break;
            }
            case 'N':
                xb::formatNumber(v.toDouble(), d.len, d.dec, p);
                break;
            case 'L':
                *p = v.toBool() ? 'T' : 'F';
                break;
            case 'M': {
                const std::string ref =
                    qvtest::fromHex(v.toObject()["ref_hex"].toString().toStdString());
                std::memcpy(p, ref.data(), std::min<std::size_t>(ref.size(), d.len));
                break;
            }
        }
    }
    return out;
}

Table loadTable(const fs::path& dir, const std::string& name) {
    Table t;
    t.name = name;
    t.json = readJson(dir / "expected" / (name + ".json"));
    std::vector<xb::FieldDesc> descs;
    std::vector<int> offsets;
    for (const QJsonValue& fv : t.json["fields"].toArray()) {
        const QJsonArray a = fv.toArray();
        descs.push_back({a[0].toString().toStdString(), a[1].toString().toStdString()[0],
                         static_cast<std::uint16_t>(a[2].toInt()),
                         static_cast<std::uint8_t>(a[3].toInt())});
        offsets.push_back(a[4].toInt());
    }
    t.fields = xb::FieldList(std::move(descs));
    for (std::size_t i = 0; i < t.fields.size(); ++i)
        EXPECT_EQ(t.fields[i].offset, offsets[i]) << name << " " << t.fields[i].name;

    // Every record from the table file; the ones the JSON lists must be
    // exactly the bytes built from its values.
    const QJsonObject dbf = t.json["dbf"].toObject();
    const std::size_t headerLen = static_cast<std::size_t>(dbf["header_len"].toInt());
    const std::size_t recordLen = static_cast<std::size_t>(dbf["record_len"].toInt());
    const std::size_t count = static_cast<std::size_t>(dbf["record_count"].toInt());
    EXPECT_EQ(recordLen, t.fields.recordLength());
    const std::vector<std::uint8_t> file = qvtest::readFile(dir / (name + ".dbf"));
    for (std::size_t r = 0; r < count; ++r) {
        const auto* p = file.data() + headerLen + r * recordLen;
        t.records.emplace_back(p, p + recordLen);
    }
    for (const QJsonValue& rv : t.json["records"].toArray()) {
        const QJsonObject r = rv.toObject();
        const auto recno = static_cast<std::size_t>(r["recno"].toInt());
        EXPECT_EQ(recordFromJson(t.fields, r), t.records.at(recno - 1)) << name << " #" << recno;
    }
    return t;
}

// Checks one tag: the key of every listed entry computed from the JSON's
// record values, and the whole tag rebuilt from all records (FOR applied,
// sorted by key bytes and record number) against the listed entries.
void checkTag(Table& t, const QJsonObject& tag, int& keysChecked) {
    const std::string key = cp1252(tag["key"].toString());
    const std::string cond = cp1252(tag["for"].toString());
    SCOPED_TRACE(t.name + " " + tag["name"].toString().toStdString() + " " + key);
    xb::Expr keyExpr = xb::Expr::compile(key, t.fields);
    const std::size_t keyLen = static_cast<std::size_t>(tag["key_len"].toInt());
    EXPECT_EQ(keyExpr.keyLength(), keyLen);
    EXPECT_EQ(keyExpr.type() == xb::ExprType::Character ? "C" : "N",
              tag["key_type"].toString().toStdString());
    xb::Expr forExpr;
    if (!cond.empty()) {
        forExpr = xb::Expr::compileCondition(cond, t.fields);
        // What the fixtures' writer compiled means the same.
        EXPECT_EQ(
            forExpr.canonicalText(),
            xb::Expr::compile(cp1252(tag["for_as_compiled"].toString()), t.fields).canonicalText());
    }

    // Records the JSON lists, built from its values.
    std::vector<std::vector<std::uint8_t>> fromJson(t.records.size());
    for (const QJsonValue& rv : t.json["records"].toArray()) {
        const QJsonObject r = rv.toObject();
        fromJson.at(static_cast<std::size_t>(r["recno"].toInt()) - 1) = recordFromJson(t.fields, r);
    }

    // The whole tag rebuilt from the table file.
    std::vector<std::pair<std::string, std::uint32_t>> entries;
    std::vector<std::uint8_t> buf(keyLen);
    for (std::size_t i = 0; i < t.records.size(); ++i) {
        const xb::RecordRef ref{t.records[i].data(), static_cast<std::uint32_t>(i + 1)};
        if (!forExpr.empty() && !forExpr.evalBool(ref)) continue;
        keyExpr.evalKey(ref, buf.data(), keyLen);
        entries.emplace_back(std::string(buf.begin(), buf.end()),
                             static_cast<std::uint32_t>(i + 1));
    }
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(static_cast<int>(entries.size()), tag["ordkeycount"].toInt());

    const bool sampled = tag.contains("keys_sampled");
    int position = 0;
    for (const QJsonValue& kv : tag["keys"].toArray()) {
        const QJsonArray k = kv.toArray();
        if (sampled)
            position = k[0].toInt();
        else
            ++position;
        const auto recno = static_cast<std::uint32_t>(k[sampled ? 1 : 0].toInt());
        const std::string hex = k[sampled ? 2 : 1].toString().toStdString();
        // From the JSON's own record values where it lists the record.
        const std::vector<std::uint8_t>& rec = fromJson.at(recno - 1);
        if (!rec.empty()) {
            EXPECT_EQ(keyHex(keyExpr, {rec.data(), recno}, keyLen), hex) << "record " << recno;
            if (!forExpr.empty()) {
                EXPECT_TRUE(forExpr.evalBool({rec.data(), recno})) << recno;
            }
            ++keysChecked;
        }
        // And in index order from all records.
        ASSERT_LE(position, static_cast<int>(entries.size()));
        const auto& e = entries[static_cast<std::size_t>(position - 1)];
        EXPECT_EQ(e.second, recno) << "position " << position;
        EXPECT_EQ(qvtest::toHex(e.first), hex) << "position " << position;
    }
}

void checkFixtureSet(const fs::path& dir, int& keysChecked, int& tagsChecked) {
    for (const auto& entry : fs::directory_iterator(dir / "expected")) {
        const std::string name = entry.path().stem().string();
        Table t = loadTable(dir, name);
        for (const QJsonValue& tv : t.json["tags"].toArray()) {
            checkTag(t, tv.toObject(), keysChecked);
            ++tagsChecked;
        }
    }
}

TEST(ExprFixtures, CatalogueTagsReproduceEveryKey) {
    int keys = 0, tags = 0;
    checkFixtureSet(qvtest::xbaseFixtures() / "catalog", keys, tags);
    EXPECT_EQ(tags, 19);
    EXPECT_GT(keys, 2000);
}

TEST(ExprFixtures, EdgeTagsReproduceEveryKey) {
    int keys = 0, tags = 0;
    checkFixtureSet(qvtest::xbaseFixtures() / "edge", keys, tags);
    EXPECT_EQ(tags, 7);
}

TEST(ExprFixtures, LargeFileTableTagsInIndexOrder) {
    const fs::path dir = qvtest::largeFixture();
    if (dir.empty()) GTEST_SKIP() << "large fixture not unpacked";
    int keys = 0, tags = 0;
    checkFixtureSet(dir, keys, tags);
    EXPECT_EQ(tags, 3);
    EXPECT_GT(keys, 0);
}

}  // namespace
