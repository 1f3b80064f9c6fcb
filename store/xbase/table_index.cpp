// The index side of the engine table: construction, the owning table's
// side (sync, orders replaced, the view invalidated, pack), the index path,
// tags and tag orders.
#include <algorithm>
#include <cctype>
#include <filesystem>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/progress.h"
#include "store/xbase/table_index.h"
#include "store/xbase/tag_order.h"

namespace xb {

// ---- the owning table's side -------------------------------------------------------------

TableIndex::TableIndex(Table& table, TableIndexHost& host, Env& env)
    : table_(table), host_(host), env_(&env) {}

TableIndex::~TableIndex() = default;

void TableIndex::sync() {
    if (nsx_ && !readOnly()) nsx_->sync();
}

void TableIndex::orderReplaced() {
    tagOrder_ = nullptr;
    orderPos_ = 0;
    invalidateView();
}

void TableIndex::invalidateView() {
    ++viewGen_;
    host_.forgetEnd();
}

void TableIndex::checkOrderRecord(std::uint32_t recno) const {
    if (!tagOrder_) return;
    throw fileDamaged("Die Indexdatei", nsx_->path(),
                      "der Tag " + tagName(orderPos_) + " verweist auf den fehlenden Datensatz " +
                          std::to_string(recno),
                      recno);
}

void TableIndex::beforeFilesReplaced() {
    // From here on the index no longer matches the files on disk until it
    // is rebuilt: its crash marker tells the next open to rebuild it.
    if (nsx_) {
        nsx_->beginDirectWrite();
        nsx_->sync();
    }
}

void TableIndex::dropQuery() {
    queryActive_ = false;
    queryBits_.clear();
}

void TableIndex::afterPack(int progressFrom) {
    if (indexed())
        rebuildAllTags(progressFrom, 100);
    else
        reportProgress(100);
    // A packed table has no flagged records.
    flagged_ = std::make_unique<RankedRecnos>();
    for (auto& rt : tags_)
        rt->flagged.clear();
    flaggedKnown_ = true;
    if (nsx_) nsx_->sync();
}

// ---- attaching ------------------------------------------------------------------------

std::string TableIndex::indexPath() const {
    namespace fs = std::filesystem;
    const fs::path p(path());
    const std::string ext = p.extension().string();
    const bool upper =
        std::any_of(ext.begin(), ext.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
    fs::path preferred = p;
    preferred.replace_extension(upper ? ".NSX" : ".nsx");
    fs::path other = p;
    other.replace_extension(upper ? ".nsx" : ".NSX");
    if (!env_->exists(preferred.string()) && env_->exists(other.string())) return other.string();
    return preferred.string();
}

// ---- tags -----------------------------------------------------------------------------

int TableIndex::tagCount() const {
    return static_cast<int>(tags_.size());
}

std::string TableIndex::tagName(int position) const {
    if (position < 1 || position > tagCount()) throw noTagNumber(path(), position);
    return tags_[static_cast<std::size_t>(position - 1)]->tag->name();
}

int TableIndex::tagPosition(std::string_view name) const {
    if (!nsx_) return 0;
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const std::string& n = tags_[i]->tag->name();
        if (n.size() == name.size() &&
            std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) ==
                       std::toupper(static_cast<unsigned char>(b));
            }))
            return static_cast<int>(i) + 1;
    }
    return 0;
}

ExprType TableIndex::orderKeyType() const {
    if (!tagOrder_) return ExprType::Character;
    switch (tagOrder_->tag().keyType()) {
        case NsxKeyType::Numeric:
            return ExprType::Numeric;
        case NsxKeyType::Date:
            return ExprType::Date;
        case NsxKeyType::Logical:
            return ExprType::Logical;
        case NsxKeyType::Character:
            break;
    }
    return ExprType::Character;
}

std::string TableIndex::numberKey(double value) {
    std::uint8_t k[kNumKeyLen];
    encodeNumKey(value, k);
    return std::string(reinterpret_cast<const char*>(k), kNumKeyLen);
}

std::vector<std::string> TableIndex::indexFaults() {
    requireOpen();
    if (!nsx_) return {};
    commitRecord();
    nsx_->flush();
    std::vector<std::string> out;
    for (std::string& f : nsx_->verify(recCount()))
        out.push_back("Die Indexdatei " + nsx_->path() + " ist beschädigt: " + f);
    return out;
}

void TableIndex::setOrder(int position) {
    requireOpen();
    if (position < 0 || position > tagCount()) throw noTagNumber(path(), position);
    if (deferred_ && position != 0)
        throw qv::Error(qv::ErrorCode::State,
                        "Die Tags der Tabelle " + path() + " werden gerade nachgeführt", path());
    commitRecord();
    installOrder(position);
}

void TableIndex::installOrder(int position) {
    if (position == 0) {
        table_.setOrder(std::unique_ptr<RecordOrder>());
        return;
    }
    auto o = std::make_unique<TagOrder>(*tags_[static_cast<std::size_t>(position - 1)]);
    TagOrder* raw = o.get();
    table_.setOrder(std::unique_ptr<RecordOrder>(std::move(o)));
    tagOrder_ = raw;
    orderPos_ = position;
}

TagOrder& TableIndex::requireTagOrder(const char* what) const {
    requireOpen();
    if (!tagOrder_)
        throw qv::Error(
            qv::ErrorCode::State,
            std::string(what) + " braucht einen Tag als Reihenfolge (Tabelle " + path() + ")",
            path());
    return *tagOrder_;
}

}  // namespace xb
