// The checker of NsxFile::verify(): every rule a writer must keep, page by
// page, without trusting anything it reads.

#include <algorithm>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "store/xbase/error.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"

namespace xb {

using namespace nsx;

namespace {

constexpr std::size_t kMaxFaults = 200;

class Checker {
  public:
    Checker(NsxFile& f, const std::uint8_t* root, std::uint32_t fileEnd, std::uint32_t maxRecno)
        : f_(f), root_(root), pages_(fileEnd / kPageSize), owner_(pages_, 0), maxRecno_(maxRecno) {}

    std::vector<std::string> run();

  private:
    void fault(const std::string& s) {
        if (faults_.size() < kMaxFaults) {
            faults_.push_back(s);
        } else if (faults_.size() == kMaxFaults) {
            faults_.push_back("weitere Fehler ausgelassen");
        }
    }
    // Claims a page for `who` (>0 tag number, -1 root, -2 free list); false
    // when it is out of bounds or already claimed.
    bool claim(std::uint32_t addr, int who, const std::string& where);
    bool read(std::uint32_t addr, std::uint8_t* out, const std::string& where);
    void checkTag(int t, const std::string& name, std::uint32_t header);
    void visit(std::uint32_t addr, int depth, bool isRoot);
    void checkFreeList();

    NsxFile& f_;
    const std::uint8_t* root_;
    std::size_t pages_;
    std::vector<int> owner_;
    std::uint32_t maxRecno_;
    std::vector<std::string> faults_;

    // State of the tag being walked.
    int tagNo_ = 0;
    std::string at_;  // "Tag X"
    KeyFormat fmt_{1, 0x20};
    bool unique_ = false;
    int leafDepth_ = -1;
    bool haveLast_ = false;
    std::uint8_t last_[kMaxKeyLen];
    std::uint32_t lastRec_ = 0;
    std::uint64_t entries_ = 0;
};

bool Checker::claim(std::uint32_t addr, int who, const std::string& where) {
    if (addr == 0 || addr % kPageSize != 0 || addr / kPageSize >= pages_) {
        fault(where + ": Verweis auf die ungültige Seite " + std::to_string(addr));
        return false;
    }
    int& o = owner_[addr / kPageSize];
    if (o != 0) {
        fault(where + ": Seite " + std::to_string(addr) +
              (o == who ? " wird mehrfach erreicht (Zyklus oder geteilter Teilbaum)"
                        : " gehört schon zu einer anderen Struktur"));
        return false;
    }
    o = who;
    return true;
}

bool Checker::read(std::uint32_t addr, std::uint8_t* out, const std::string& where) {
    try {
        std::memcpy(out, f_.cache().get(addr)->data, kPageSize);
        return true;
    } catch (const qv::Error& e) {
        if (e.code() == qv::ErrorCode::IoError) throw;
        fault(where + ": Seite " + std::to_string(addr) + " ist nicht lesbar");
        return false;
    }
}

std::vector<std::string> Checker::run() {
    if (root_[kRootSig] != kSignature) fault("Dateikopf: falsche Kennung");
    if (root_[kRootFlags] != 0) fault("Dateikopf: Kennzeichen sind nicht 0");
    const int tags = getU16LE(root_ + kRootTagCount);
    if (tags > kMaxTags) {
        fault("Dateikopf: unmögliche Anzahl von Tags " + std::to_string(tags));
        return faults_;
    }
    if (pages_ > 0) owner_[0] = -1;
    const std::uint32_t sizeField = getU32LE(root_ + kRootFileSize);
    if (sizeField % kPageSize != 0)
        fault("Dateikopf: Dateigröße " + std::to_string(sizeField) +
              " ist kein Vielfaches der Seitengröße");
    std::set<std::string> names;
    for (int i = 0; i < tags; ++i) {
        const std::uint8_t* e = root_ + kRootTagTable + i * kTagEntrySize;
        std::string name(reinterpret_cast<const char*>(e),
                         strnlen(reinterpret_cast<const char*>(e), 12));
        const std::string where = "Dateikopf, Tag " + std::to_string(i + 1);
        if (e[0] <= 0x20) fault(where + ": Name fehlt oder beginnt mit einem Leerzeichen");
        if (name.size() >= 12) fault(where + ": Name ist nicht abgeschlossen");
        std::string upper = name;
        for (char& c : upper)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (!names.insert(upper).second) fault(where + ": Name " + name + " ist doppelt");
        checkTag(i + 1, name, getU32LE(e + 12));
    }
    checkFreeList();
    std::uint64_t usedEnd = kPageSize;
    for (std::size_t p = 0; p < pages_; ++p)
        if (owner_[p] != 0) usedEnd = std::max<std::uint64_t>(usedEnd, (p + 1) * kPageSize);
    if (sizeField < usedEnd)
        fault("Dateikopf: Dateigröße " + std::to_string(sizeField) +
              " liegt vor dem Ende der belegten Seiten (" + std::to_string(usedEnd) + ")");
    const std::size_t limit = std::min<std::size_t>(pages_, sizeField / kPageSize);
    for (std::size_t p = 1; p < limit; ++p)
        if (owner_[p] == 0)
            fault("Seite " + std::to_string(p * kPageSize) +
                  " gehört zu keinem Tag und ist nicht frei");
    return faults_;
}

void Checker::checkTag(int t, const std::string& name, std::uint32_t header) {
    at_ = "Tag " + name;
    tagNo_ = t;
    if (!claim(header, t, at_ + ", Kopfseite")) return;
    std::uint8_t h[kPageSize];
    if (!read(header, h, at_)) return;
    const std::string where = at_ + ", Kopfseite " + std::to_string(header);
    bool ok = true;
    if (h[kTagSig] != kSignature) {
        fault(where + ": falsche Kennung");
        ok = false;
    }
    if (h[kTagFlags] & ~kKnownTagFlags) fault(where + ": unbekannte Kennzeichen");
    const std::uint16_t type = getU16LE(h + kTagKeyType);
    const int keyLen = getU16LE(h + kTagKeyLen);
    if (!isKnownKeyType(type)) {
        fault(where + ": unbekannter Schlüsseltyp " + std::to_string(type));
        ok = false;
    }
    if (keyLen < 1 || keyLen > kMaxKeyLen) {
        fault(where + ": unmögliche Schlüssellänge " + std::to_string(keyLen));
        ok = false;
    } else if (type != static_cast<std::uint16_t>(KeyType::Character) &&
               type != static_cast<std::uint16_t>(KeyType::Logical) && keyLen != 8) {
        fault(where + ": numerische und Datumsschlüssel müssen 8 Bytes lang sein");
    } else if (type == static_cast<std::uint16_t>(KeyType::Logical) && keyLen != 1) {
        fault(where + ": logische Schlüssel müssen 1 Byte lang sein");
    }
    if (getU16LE(h + kTagUnique) > 1)
        fault(where + ": Eindeutigkeitskennzeichen ist nicht 0 oder 1");
    if (getU16LE(h + kTagDescend) > 1) fault(where + ": Abwärtskennzeichen ist nicht 0 oder 1");
    if (h[kTagKeyExpr] < 0x20) fault(where + ": Schlüsselausdruck fehlt");
    if (!std::memchr(h + kTagKeyExpr, 0, 256)) fault(where + ": Schlüsselausdruck ohne Abschluss");
    if (h[kTagForExpr] >= 0x20 && !std::memchr(h + kTagForExpr, 0, 256))
        fault(where + ": Bedingung ohne Abschluss");
    if (!ok) return;
    fmt_ = KeyFormat{keyLen, trailFor(type)};
    unique_ = getU16LE(h + kTagUnique) == 1;
    leafDepth_ = -1;
    haveLast_ = false;
    entries_ = 0;
    const std::uint32_t root = getU32LE(h + kTagRoot);
    visit(root, 0, true);
    if (NsxTag* tag = f_.findTag(name)) {
        const std::uint32_t known = f_.knownCount(root);
        if (tag->rootAddr() == root && known != NsxFile::kUnknownCount && known != entries_)
            fault(at_ + ": gespeicherte Schlüsselanzahl " + std::to_string(known) +
                  " weicht von den " + std::to_string(entries_) + " gefundenen ab");
    }
}

void Checker::visit(std::uint32_t addr, int depth, bool isRoot) {
    const std::string where = at_ + ", Seite " + std::to_string(addr);
    if (depth >= kMaxDepth) {
        fault(where + ": Baum tiefer als 64 Ebenen");
        return;
    }
    if (!claim(addr, tagNo_, at_)) return;
    std::vector<std::uint8_t> page(kPageSize);
    if (!read(addr, page.data(), at_)) return;
    const std::uint8_t type = page[0];
    if (!isBranchType(type) && !isLeafType(type)) {
        fault(where + ": unbekannter Seitentyp " + std::to_string(type));
        return;
    }
    if (isRootType(type) != isRoot)
        fault(where + (isRoot ? ": Wurzelseite ohne Wurzelkennzeichen"
                              : ": Wurzelkennzeichen auf einer inneren Seite"));
    const std::size_t kl = static_cast<std::size_t>(fmt_.keyLen);
    auto emit = [&](const std::uint8_t* key, std::uint32_t recno, const std::string& what) {
        if (recno == 0) fault(where + ": " + what + " hat die Satznummer 0");
        if (recno > maxRecno_)
            fault(where + ": " + what + " verweist auf den Datensatz " + std::to_string(recno) +
                  " hinter dem Tabellenende (" + std::to_string(maxRecno_) + ")");
        if (haveLast_) {
            const int c = std::memcmp(last_, key, kl);
            if (c > 0 || (c == 0 && lastRec_ >= recno)) {
                fault(where + ": " + what + " verletzt die Sortierfolge");
            } else if (c == 0 && unique_) {
                fault(where + ": " + what + " wiederholt einen Schlüssel eines eindeutigen Tags");
            }
        }
        std::memcpy(last_, key, kl);
        lastRec_ = recno;
        haveLast_ = true;
        ++entries_;
    };
    if (isBranchType(type)) {
        const BranchView b{page.data(), fmt_.keyLen};
        const int n = b.count();
        if (n > maxBranchKeys(fmt_.keyLen)) {
            fault(where + ": unmögliche Schlüsselanzahl " + std::to_string(n));
            return;
        }
        visit(b.lower(), depth + 1, false);
        for (int i = 0; i < n; ++i) {
            emit(b.key(i), b.recno(i), "Schlüssel " + std::to_string(i));
            visit(b.childAfter(i), depth + 1, false);
        }
        return;
    }
    if (leafDepth_ < 0) {
        leafDepth_ = depth;
    } else if (leafDepth_ != depth) {
        fault(where + ": Blatt in Tiefe " + std::to_string(depth) + " statt " +
              std::to_string(leafDepth_));
    }
    LeafDecoder dec(page.data(), fmt_, haveLast_ ? last_ : nullptr);
    if (dec.count() == 0 && !isRoot) fault(where + ": leere Blattseite");
    int end = kLeafHeader;
    while (dec.next()) {
        const std::string what = "Eintrag " + std::to_string(dec.index());
        if (!haveLast_ && (dec.dupCount() != 0 || dec.fullDuplicate()))
            fault(where + ": der erste Eintrag des Tags verweist auf einen Vorgänger");
        emit(dec.key(), dec.recno(), what);
        end = dec.end();
    }
    if (dec.error()) {
        fault(where + ": Eintrag " + std::to_string(dec.index() + 1) + ": " + dec.error());
        return;
    }
    if (dec.index() + 1 != dec.count()) {
        fault(where + ": weniger Einträge als angegeben");
        return;
    }
    if (end != dec.used())
        fault(where + ": belegter Bereich " + std::to_string(dec.used()) +
              " endet nicht mit dem letzten Eintrag (" + std::to_string(end) + ")");
}

void Checker::checkFreeList() {
    std::uint32_t addr = getU32LE(root_ + kRootFreeHead);
    while (addr != kNoPage && addr != 0) {
        if (!claim(addr, -2, "Liste freier Seiten")) return;
        std::uint8_t p[kPageSize];
        if (!read(addr, p, "Liste freier Seiten")) return;
        if (p[0] != kTypeFree) {
            fault("Liste freier Seiten: Seite " + std::to_string(addr) +
                  " ist nicht als frei markiert");
            return;
        }
        addr = getU32LE(p + kFreeNext);
    }
}

}  // namespace

std::vector<std::string> NsxFile::verify(std::uint32_t recordCount) {
    if (closed_) return {"die Datei ist geschlossen"};
    Checker c(*this, root_, fileEnd_, recordCount);
    return c.run();
}

}  // namespace xb
