#include "xbase_test_util.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include <QFile>
#include <QJsonDocument>

#include "store/tables/cataloguetables.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/smt_file.h"
#include "store/xbase/table_builder.h"

namespace xbtest {

const std::vector<FieldDef>& layoutOf(const std::string& table) {
    static const std::map<std::string, std::vector<FieldDef>> layouts = [] {
        std::map<std::string, std::vector<FieldDef>> m;
        for (const qv::tables::Layout& l : qv::tables::kLayouts) {
            std::vector<FieldDef>& f = m[std::string(qv::tables::baseName(l))];
            for (const qv::tables::Field& d : l.fields)
                f.push_back({d.name.data(), d.type, d.width, d.decimals});  // literals: terminated
        }
        return m;
    }();
    return layouts.at(table);
}

const std::vector<std::string>& catalogueTables() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> n;
        for (const qv::tables::Layout& l : qv::tables::kLayouts)
            n.emplace_back(qv::tables::baseName(l));
        return n;
    }();
    return names;
}

void createTable(const std::string& path, const std::vector<FieldDef>& fields) {
    xb::TableBuilder b(path);
    for (const FieldDef& f : fields)
        b.addField(f.name, f.type, f.width, f.dec);
    b.create();
}

QJsonObject loadExpected(const std::string& jsonPath) {
    QFile f(QString::fromStdString(jsonPath));
    if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + jsonPath);
    return QJsonDocument::fromJson(f.readAll()).object();
}

std::string toCp1252(const QString& s) {
    std::string out;
    out.reserve(static_cast<std::size_t>(s.size()));
    for (QChar c : s)
        out.push_back(static_cast<char>(xb::unicodeToCp1252(c.unicode())));
    return out;
}

std::string checkMemoStructure(xb::Table& t) {
    xb::SmtFile* smt = t.smtFile();
    if (!smt) return "no SMT file";
    struct Span {
        std::uint64_t begin, end;
        std::string what;
    };
    std::vector<Span> spans;
    std::vector<std::uint8_t> rec(t.recordLength());
    const std::uint64_t first = smt->firstDataBlock();
    const std::uint64_t next = smt->nextFreeBlock();
    for (std::uint32_t r = 1; r <= t.recCount(); ++r) {
        t.readRecordAt(r, rec.data());
        for (const xb::FieldDesc& f : t.fields().all()) {
            if (f.type != 'M') continue;
            const xb::SmtRef ref = xb::SmtRef::decode(rec.data() + f.offset);
            const xb::MemoExtent e = smt->extentOf(ref);
            if (e.blocks == 0) continue;
            const std::string what = "memo of record " + std::to_string(r);
            if (e.block < first || e.block + std::uint64_t{e.blocks} > next)
                return what + " lies outside the data area";
            if (std::uint64_t{e.block} * smt->blockSize() + ref.length > smt->fileSize())
                return what + " runs past the end of the file";
            spans.push_back({e.block, std::uint64_t{e.block} + e.blocks, what});
        }
    }
    const auto& fl = smt->freeList();
    for (std::size_t i = 0; i < fl.size(); ++i) {
        const xb::MemoExtent& e = fl[i];
        const std::string what = "free entry " + std::to_string(i);
        if (e.blocks == 0) return what + " is empty";
        if (e.block < first || e.block + std::uint64_t{e.blocks} > next)
            return what + " lies outside the data area";
        if (e.block + std::uint64_t{e.blocks} == next) return what + " ends at the next free block";
        if (i > 0 && fl[i - 1].blocks > e.blocks) return what + " is out of size order";
        spans.push_back({e.block, std::uint64_t{e.block} + e.blocks, what});
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i].begin < spans[i - 1].end)
            return spans[i - 1].what + " overlaps " + spans[i].what;
    return "";
}

}  // namespace xbtest
