#include "xbase_test_util.h"

#include <algorithm>
#include <map>
#include <stdexcept>

#include <QFile>
#include <QJsonDocument>

#include "store/xbase/cp1252.h"
#include "store/xbase/smt_file.h"
#include "store/xbase/table_builder.h"

namespace xbtest {

const std::vector<FieldDef>& layoutOf(const std::string& table) {
    static const std::map<std::string, std::vector<FieldDef>> layouts = {
        {"_qvdisk", {{"Eindeutig", 'N', 8, 0},  {"Bezeich", 'C', 50, 0},   {"Boxnummer", 'N', 5, 0},
                     {"Disknummer", 'N', 5, 0}, {"Kategorie", 'C', 20, 0}, {"Progdsks", 'N', 2, 0},
                     {"Diskart", 'C', 15, 0},   {"Leihrein", 'N', 5, 0},   {"Leihraus", 'N', 5, 0},
                     {"Prog01", 'C', 1, 0},     {"Prog02", 'C', 1, 0},     {"Prog03", 'C', 1, 0},
                     {"Prog04", 'C', 1, 0},     {"Prog05", 'C', 1, 0},     {"Prog06", 'C', 1, 0},
                     {"Prog07", 'C', 1, 0},     {"Prog08", 'C', 1, 0},     {"Prog09", 'C', 1, 0},
                     {"Prog10", 'C', 1, 0},     {"Prog11", 'C', 1, 0},     {"Prog12", 'C', 1, 0},
                     {"Memo", 'M', 10, 0}}},
        {"_qvdir",
         {{"dirnumm", 'N', 8, 0},
          {"dirname", 'C', 15, 0},
          {"direndung", 'C', 3, 0},
          {"dirpfad", 'C', 86, 0},
          {"dirdate", 'D', 8, 0},
          {"dirsize", 'N', 10, 0},
          {"dirtime", 'C', 5, 0},
          {"dirmemo", 'M', 10, 0}}},
        {"_endung", {{"endung", 'C', 3, 0}, {"bezeich", 'C', 40, 0}}},
        {"_katego", {{"katego", 'C', 20, 0}, {"anzahl", 'N', 6, 0}}},
        {"_diskart", {{"cdiskart", 'C', 15, 0}}},
        {"_verleih",
         {{"vNummer", 'N', 5, 0},
          {"vName", 'C', 40, 0},
          {"vVorname", 'C', 40, 0},
          {"vZusatz", 'C', 40, 0},
          {"vstrasse", 'C', 40, 0},
          {"vplz", 'C', 6, 0},
          {"vort", 'C', 40, 0},
          {"vtelefon", 'C', 30, 0},
          {"vfax", 'C', 30, 0},
          {"vemail", 'C', 40, 0},
          {"vbemerk1", 'C', 50, 0},
          {"vbemerk2", 'C', 50, 0}}},
    };
    return layouts.at(table);
}

const std::vector<std::string>& catalogueTables() {
    static const std::vector<std::string> names = {"_qvdisk", "_qvdir",   "_endung",
                                                   "_katego", "_diskart", "_verleih"};
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
