#include "query_testkit.h"

#include <vector>

#include "store/xbase/expr.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/settings.h"
#include "xbase_test_util.h"

namespace querytest {

IndexedTable openIndexed(const std::filesystem::path& dir, const std::string& name) {
    IndexedTable t;
    t.table = xb::Table::open((dir / (name + ".dbf")).string());
    const std::filesystem::path nsx = dir / (name + ".nsx");
    if (std::filesystem::exists(nsx)) t.index = xb::NsxFile::open(nsx.string());
    return t;
}

void buildTag(IndexedTable& t, const std::string& name, const std::string& key,
              const std::string& forText, bool unique) {
    const xb::FieldList& fields = t.table->fields();
    xb::Expr keyExpr = xb::Expr::compile(key, fields);
    xb::Expr cond;
    if (!forText.empty()) cond = xb::Expr::compileCondition(forText, fields);
    xb::NsxTagDef def;
    def.name = name;
    def.keyExpr = key;
    def.forExpr = forText;
    def.unique = unique;
    switch (keyExpr.type()) {
        case xb::ExprType::Character:
            def.keyType = xb::NsxKeyType::Character;
            break;
        case xb::ExprType::Numeric:
            def.keyType = xb::NsxKeyType::Numeric;
            break;
        case xb::ExprType::Date:
            def.keyType = xb::NsxKeyType::Date;
            break;
        case xb::ExprType::Logical:
            def.keyType = xb::NsxKeyType::Logical;
            break;
    }
    def.keyLen = static_cast<int>(keyExpr.keyLength());
    xb::NsxKeyBatch batch(def.keyLen, def.keyType == xb::NsxKeyType::Character ? 0x20 : 0);
    const std::uint32_t n = t.table->recCount();
    std::vector<std::uint8_t> rec(t.table->recordLength());
    std::vector<std::uint8_t> k(static_cast<std::size_t>(def.keyLen));
    for (std::uint32_t r = 1; r <= n; ++r) {
        t.table->readRecordAt(r, rec.data());
        const xb::RecordRef ref{rec.data(), r};
        if (!cond.empty() && !cond.evalBool(ref)) continue;
        keyExpr.evalKey(ref, k.data(), k.size());
        batch.add({reinterpret_cast<const char*>(k.data()), k.size()}, r);
    }
    if (!t.index) {
        const std::string path = t.table->path();
        t.index = xb::NsxFile::create(path.substr(0, path.size() - 4) + ".nsx");
    }
    t.index->buildTag(def, batch, n);
}

const std::vector<TagDef>& entryTags() {
    static const std::vector<TagDef> tags = {
        {"eindeutig", "eindeutig", "not deleted()"},
        {"bezeich", "upper(bezeich)", "not deleted()"},
        {"nummer", "str(boxnummer,5)+str(disknummer,5)", "not deleted()"},
        {"kategorie", "upper(kategorie)", "not deleted()"},
        {"diskart", "upper(diskart)", "not deleted()"},
        {"diskart2", "upper(diskart)", ""},
        {"kategorie2", "upper(kategorie)", ""},
        {"bezeich2", "upper(bezeich)", ""},
        {"box2", "boxnummer", ""},
    };
    return tags;
}

IndexedTable makeEntryTable(const std::filesystem::path& dir, const std::vector<Entry>& entries) {
    xbtest::createTable((dir / "_qvdisk.dbf").string(), xbtest::layoutOf("_qvdisk"));
    IndexedTable t;
    t.table = xb::Table::open((dir / "_qvdisk.dbf").string());
    xb::Table& tb = *t.table;
    const int title = tb.fieldIndex("bezeich"), category = tb.fieldIndex("kategorie"),
              carrier = tb.fieldIndex("diskart"), box = tb.fieldIndex("boxnummer"),
              disk = tb.fieldIndex("disknummer"), unique = tb.fieldIndex("eindeutig"),
              flag = tb.fieldIndex("prog01");
    for (const Entry& e : entries) {
        tb.append();
        tb.replaceText(title, e.title);
        tb.replaceText(category, e.category);
        tb.replaceText(carrier, e.carrier);
        tb.replaceNumber(box, e.box);
        tb.replaceNumber(disk, e.disk);
        tb.replaceNumber(unique, e.unique);
        tb.replaceText(flag, e.flag01);
        if (e.deleted) tb.deleteRecord();
        tb.commitRecord();
    }
    for (const TagDef& d : entryTags())
        buildTag(t, d.name, d.key, d.forText);
    return t;
}

xb::RecordSet bruteForce(xb::Table& t, const std::string& text) {
    xb::Expr e = xb::Expr::compileCondition(text, t.fields());
    const std::uint32_t n = t.recCount();
    xb::RecordSet s(n);
    std::vector<std::uint8_t> rec(t.recordLength());
    for (std::uint32_t r = 1; r <= n; ++r) {
        t.readRecordAt(r, rec.data());
        if (e.evalBool({rec.data(), r})) s.set(r);
    }
    return s;
}

std::string compareWithBruteForce(xb::Table& t, const xb::RecordSet& got,
                                  const xb::RecordSet& brute) {
    if (got.size() != brute.size())
        return "size " + std::to_string(got.size()) + " instead of " + std::to_string(brute.size());
    const bool hide = xb::settings().deleted;
    std::vector<std::uint8_t> rec(t.recordLength());
    for (std::uint32_t r = 1; r <= brute.size(); ++r) {
        t.readRecordAt(r, rec.data());
        const bool flagged = rec[0] == '*';
        const bool want = brute.test(r) && !(hide && flagged);
        if (got.test(r) != want)
            return "record " + std::to_string(r) + (flagged ? " (flagged)" : "") +
                   (want ? " missing" : " wrongly found");
    }
    return {};
}

}  // namespace querytest
