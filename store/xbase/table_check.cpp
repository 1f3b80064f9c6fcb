#include "store/xbase/table_check.h"

#include <cstring>

#include "store/xbase/error.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/smt_file.h"
#include "store/xbase/table_index.h"

namespace xb {

namespace {

constexpr int kFaultsPerTag = 20;

// Collects the faults of one tag, at most kFaultsPerTag of them in full.
class TagFaults {
  public:
    TagFaults(std::vector<std::string>& out, std::string prefix)
        : out_(out), prefix_(std::move(prefix)) {}
    ~TagFaults() {
        if (n_ > kFaultsPerTag)
            out_.push_back(prefix_ + std::to_string(n_ - kFaultsPerTag) + " weitere Fehler");
    }
    void add(const std::string& what) {
        if (++n_ <= kFaultsPerTag) out_.push_back(prefix_ + what);
    }

  private:
    std::vector<std::string>& out_;
    std::string prefix_;
    int n_ = 0;
};

int compareEntry(const std::uint8_t* a, std::uint32_t ra, const std::uint8_t* b, std::uint32_t rb,
                 int keyLen) {
    const int c = std::memcmp(a, b, static_cast<std::size_t>(keyLen));
    if (c != 0) return c;
    return ra < rb ? -1 : ra > rb ? 1 : 0;
}

void checkTag(Table& table, NsxTag& tag, std::vector<std::string>& out) {
    TagFaults faults(out, "Indexdatei " + tag.file().path() + ", Tag " + tag.name() + ": ");
    Expr key, cond;
    try {
        key = Expr::compile(tag.keyExpr(), table.fields());
        if (!tag.forExpr().empty()) cond = Expr::compileCondition(tag.forExpr(), table.fields());
    } catch (const qv::Error& e) {
        faults.add("Ausdruck nicht auswertbar (" + e.text() + ")");
        return;
    }
    const int keyLen = tag.keyLen();
    const std::size_t kl = static_cast<std::size_t>(keyLen);
    std::string k(kl, ' ');
    NsxKeyBatch expected(tag);
    if (!tag.unique()) {
        table.scanRecords([&](std::uint32_t recno, const std::uint8_t* rec) {
            const RecordRef r{rec, recno};
            if (!cond.empty() && !cond.evalBool(r)) return;
            key.evalKey(r, reinterpret_cast<std::uint8_t*>(k.data()), kl);
            expected.add(k, recno);
        });
        expected.sort();
    }
    std::size_t next = 0;  // next expected entry
    std::uint64_t walked = 0;
    std::string prevKey;
    std::uint32_t prevRec = 0;
    std::vector<std::uint8_t> rec(table.recordLength());
    NsxCursor c(tag);
    for (bool ok = c.first(); ok; ok = c.next()) {
        ++walked;
        const auto* ek = reinterpret_cast<const std::uint8_t*>(c.key().data());
        const std::uint32_t er = c.recno();
        if (walked > 1) {
            const int order = compareEntry(reinterpret_cast<const std::uint8_t*>(prevKey.data()),
                                           prevRec, ek, er, keyLen);
            if (order >= 0 || (tag.unique() && std::memcmp(prevKey.data(), ek, kl) == 0))
                faults.add("Schlüssel an Position " + std::to_string(walked) +
                           " nicht in Reihenfolge (Datensatz " + std::to_string(er) + ")");
        }
        prevKey.assign(c.key());
        prevRec = er;
        if (tag.unique()) {
            if (er < 1 || er > table.recCount()) {
                faults.add("Eintrag für den fehlenden Datensatz " + std::to_string(er));
                continue;
            }
            table.readRecordAt(er, rec.data());
            const RecordRef r{rec.data(), er};
            key.evalKey(r, reinterpret_cast<std::uint8_t*>(k.data()), kl);
            if ((!cond.empty() && !cond.evalBool(r)) || std::memcmp(k.data(), ek, kl) != 0)
                faults.add("Eintrag passt nicht zum Datensatz " + std::to_string(er));
            continue;
        }
        // Expected entries before this one are missing from the tag.
        while (next < expected.size() &&
               compareEntry(expected.key(next), expected.recno(next), ek, er, keyLen) < 0) {
            faults.add("Datensatz " + std::to_string(expected.recno(next)) + " fehlt");
            ++next;
        }
        if (next < expected.size() &&
            compareEntry(expected.key(next), expected.recno(next), ek, er, keyLen) == 0)
            ++next;
        else
            faults.add("Eintrag für Datensatz " + std::to_string(er) +
                       " gehört nicht in den Tag oder hat einen falschen Schlüssel");
    }
    for (; next < expected.size(); ++next)
        faults.add("Datensatz " + std::to_string(expected.recno(next)) + " fehlt");
    const std::uint64_t counted = tag.count();
    if (counted != walked)
        faults.add("Zähler " + std::to_string(counted) + ", aber " + std::to_string(walked) +
                   " Einträge");
}

}  // namespace

std::vector<std::string> checkIndex(Table& table) {
    std::vector<std::string> out;
    NsxFile* nsx = table.index().indexFile();
    if (!nsx) return out;
    for (std::string& f : nsx->verify())
        out.push_back("Indexdatei " + nsx->path() + ": " + f);
    if (!out.empty()) return out;  // the trees cannot be walked safely
    for (int i = 0; i < nsx->tagCount(); ++i) {
        try {
            checkTag(table, nsx->tag(i), out);
        } catch (const qv::Error& e) {
            out.push_back(e.text());
        }
    }
    return out;
}

std::vector<MemoFault> checkMemos(Table& table) {
    std::vector<MemoFault> faults;
    SmtFile* smt = table.smtFile();
    if (!smt) return faults;
    std::vector<int> memoFields;
    for (std::size_t i = 0; i < table.fieldCount(); ++i)
        if (table.field(static_cast<int>(i)).type == 'M' &&
            table.field(static_cast<int>(i)).len == 10)
            memoFields.push_back(static_cast<int>(i));
    if (memoFields.empty()) return faults;
    const std::uint64_t size = smt->fileSize();
    const std::uint64_t blockSize = smt->blockSize();
    table.scanRecords([&](std::uint32_t recno, const std::uint8_t* rec) {
        for (const int f : memoFields) {
            const FieldDesc& fd = table.field(f);
            const SmtRef ref = SmtRef::decode(rec + fd.offset);
            if (ref.blank || ref.block == 0 || ref.length == 0) continue;
            const std::uint64_t start = std::uint64_t{ref.block} * blockSize;
            const std::uint64_t blocks = (ref.length + blockSize - 1) / blockSize;
            std::string why;
            if (ref.block < smt->firstDataBlock())
                why = "liegt im Dateikopf";
            else if (start + ref.length > size)
                why = "reicht über das Ende der Memodatei hinaus";
            else if (ref.block + blocks > smt->nextFreeBlock())
                why = "liegt im freien Bereich der Memodatei";
            if (why.empty()) continue;
            faults.push_back({recno, f,
                              "Satz " + std::to_string(recno) + ", Feld " + fd.name +
                                  ": das Memo (Block " + std::to_string(ref.block) + ", " +
                                  std::to_string(ref.length) + " Bytes) " + why});
        }
    });
    return faults;
}

std::vector<std::string> checkTableFile(const std::string& path) {
    try {
        auto t = Table::open(path, OpenMode::ReadOnly);
        std::vector<std::string> faults = checkIndex(*t);
        // Byte 28 promises a production index to every reader.
        if ((t->header().flags & 0x01) != 0 && !t->index().hasIndex())
            faults.push_back("Die Indexdatei " + t->index().indexPath() +
                             " fehlt, obwohl die Tabelle sie im Kopf ankündigt");
        for (MemoFault& m : checkMemos(*t))
            faults.push_back("Die Memodatei " + t->smtFile()->path() + ": " + std::move(m.text));
        t->close();
        return faults;
    } catch (const qv::Error& e) {
        return {e.text()};
    }
}

}  // namespace xb
