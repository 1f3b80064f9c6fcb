#include "store/xbase/smt_file.h"

#include <algorithm>
#include <cstring>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/limits.h"

namespace xb {

namespace {

const std::uint8_t kSignature[10] = {0x53, 0x49, 0x78, 0x4D, 0x65, 0x6D, 0x6F, 0x00, 0x00, 0x00};

[[noreturn]] void corrupt(const std::string& path, const std::string& why,
                          std::int64_t recno = -1) {
    throw fileDamaged("Die Memodatei", path, why, recno);
}

}  // namespace

SmtRef SmtRef::decode(const std::uint8_t* p) {
    SmtRef r;
    r.blank = p[0] == ' ' && p[1] == ' ';
    if (r.blank) return r;
    r.type = getU16LE(p);
    r.length = getU32LE(p + 2);
    r.block = getU32LE(p + 6);
    return r;
}

void SmtRef::encode(std::uint8_t* p) const {
    if (blank) {
        std::memset(p, ' ', 10);
        return;
    }
    putU16LE(p, type);
    putU32LE(p + 2, length);
    putU32LE(p + 6, block);
}

std::vector<std::uint8_t> SmtFile::newFileBytes(std::uint32_t blockSize) {
    std::vector<std::uint8_t> h(kHeaderSize, 0);
    putU32LE(h.data(), static_cast<std::uint32_t>((kHeaderSize + blockSize - 1) / blockSize));
    putU32LE(h.data() + 4, blockSize);
    std::memcpy(h.data() + 8, kSignature, sizeof kSignature);
    return h;
}

SmtFile::SmtFile(std::unique_ptr<RandomFile> file, bool writable)
    : file_(std::move(file)), writable_(writable) {
    std::uint8_t h[kHeaderSize];
    file_->readExact(0, h, sizeof h, "der Kopf der Memodatei");
    size_ = file_->size();
    blockSize_ = getU32LE(h + 4);
    if (blockSize_ == 0) corrupt(path(), "die Blockgröße ist 0");
    firstData_ = static_cast<std::uint32_t>((kHeaderSize + blockSize_ - 1) / blockSize_);
    nextFree_ = getU32LE(h);
    std::memcpy(signature_, h + 8, sizeof signature_);
    const std::size_t entries = std::min<std::size_t>(getU16LE(h + 18), kMaxFreeEntries);
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t* p = h + 20 + 6 * i;
        free_.push_back({getU32LE(p + 2), getU16LE(p)});
    }
    if (!writable_) return;

    // A writer must not trust a damaged header: the next free block may not
    // point into the header or beyond the file, and the list must keep to
    // the invariants. Whatever does not is dropped, leaking its blocks.
    const std::uint64_t endBlock = (size_ + blockSize_ - 1) / blockSize_;
    if (nextFree_ < firstData_ || nextFree_ > endBlock)
        nextFree_ = static_cast<std::uint32_t>(
            std::min<std::uint64_t>(std::max<std::uint64_t>(firstData_, endBlock), 0xFFFFFFFFu));
    std::vector<MemoExtent> given;
    given.swap(free_);
    for (const MemoExtent& e : given) {
        if (e.blocks == 0 || e.block < firstData_ || e.block > nextFree_ ||
            e.blocks > nextFree_ - e.block || overlapsFree(e))
            continue;
        free_.push_back(e);
    }
    foldBack();
    sortFree();
}

std::uint32_t SmtFile::blocksFor(std::uint64_t length) const {
    return static_cast<std::uint32_t>((length + blockSize_ - 1) / blockSize_);
}

MemoExtent SmtFile::extentOf(const SmtRef& ref) const {
    if (ref.blank || ref.block == 0) return {};
    const std::uint32_t n = blocksFor(ref.length);
    return n == 0 ? MemoExtent{} : MemoExtent{ref.block, n};
}

bool SmtFile::written(const std::uint8_t* ref, std::size_t width) const {
    return width >= 10 && !SmtRef::decode(ref).blank;
}

std::string SmtFile::readStored(const SmtRef& ref, std::int64_t recno) {
    if (ref.blank || ref.block == 0 || ref.length == 0) return {};
    const std::uint64_t off = std::uint64_t{ref.block} * blockSize_;
    if (ref.block < firstData_)
        corrupt(path(),
                "Satz " + std::to_string(recno) + " verweist auf Block " +
                    std::to_string(ref.block) + " im Dateikopf",
                recno);
    if (off + ref.length > size_)
        corrupt(path(),
                "Satz " + std::to_string(recno) + " verweist auf Block " +
                    std::to_string(ref.block) + " hinter dem Ende der Memodatei",
                recno);
    std::string data(ref.length, '\0');
    if (file_->readAt(off, data.data(), data.size()) != data.size())
        corrupt(path(),
                "Satz " + std::to_string(recno) + " verweist auf Block " +
                    std::to_string(ref.block) + " hinter dem Ende der Memodatei",
                recno);
    return data;
}

MemoValue SmtFile::read(const std::uint8_t* ref, std::size_t width, std::int64_t recno) {
    MemoValue v;
    if (width < 10) return v;
    const SmtRef r = SmtRef::decode(ref);
    if (r.blank) return v;
    std::string stored = readStored(r, recno);
    if (r.type == kTextType || stored.empty()) {
        v.type = MemoValue::Type::Text;
        v.bytes = std::move(stored);
        return v;
    }
    return decodeMemoValue(stored);
}

// ---- free space ---------------------------------------------------------------

bool SmtFile::overlapsFree(MemoExtent e) const {
    for (const MemoExtent& f : free_)
        if (e.block < f.block + f.blocks && f.block < e.block + e.blocks) return true;
    return false;
}

void SmtFile::sortFree() {
    std::sort(free_.begin(), free_.end(), [](const MemoExtent& a, const MemoExtent& b) {
        return a.blocks != b.blocks ? a.blocks < b.blocks : a.block < b.block;
    });
}

void SmtFile::foldBack() {
    for (bool again = true; again;) {
        again = false;
        for (std::size_t i = 0; i < free_.size(); ++i) {
            if (free_[i].block + free_[i].blocks == nextFree_) {
                nextFree_ = free_[i].block;
                free_.erase(free_.begin() + static_cast<std::ptrdiff_t>(i));
                again = true;
                break;
            }
        }
    }
}

std::uint32_t SmtFile::allocate(std::uint32_t blocks) {
    if (blocks == 0) return 0;
    for (std::size_t i = 0; i < free_.size(); ++i) {  // ascending size: first fit is best fit
        MemoExtent& f = free_[i];
        if (f.blocks < blocks) continue;
        const std::uint32_t block = f.block;
        f.block += blocks;
        f.blocks -= blocks;
        if (f.blocks == 0) free_.erase(free_.begin() + static_cast<std::ptrdiff_t>(i));
        sortFree();
        return block;
    }
    if (std::uint64_t{nextFree_} + blocks > fileLimits().memoBlocks)
        throwLimit(
            "Die Memodatei", path(),
            "sie darf höchstens " + std::to_string(fileLimits().memoBlocks) + " Blöcke haben");
    const std::uint32_t block = nextFree_;
    nextFree_ += blocks;
    return block;
}

std::uint64_t SmtFile::nextFreeAfter(const std::vector<std::uint32_t>& blocks) const {
    std::vector<MemoExtent> free = free_;
    std::uint64_t next = nextFree_;
    for (std::uint32_t n : blocks) {
        if (n == 0) continue;
        auto it = std::find_if(free.begin(), free.end(),
                               [n](const MemoExtent& f) { return f.blocks >= n; });
        if (it == free.end()) {
            next += n;
            continue;
        }
        it->block += n;
        it->blocks -= n;
        if (it->blocks == 0) free.erase(it);
        std::sort(free.begin(), free.end(), [](const MemoExtent& a, const MemoExtent& b) {
            return a.blocks != b.blocks ? a.blocks < b.blocks : a.block < b.block;
        });
    }
    return next;
}

void SmtFile::writeData(std::uint32_t block, std::string_view data) {
    if (data.empty()) return;
    const std::uint64_t off = std::uint64_t{block} * blockSize_;
    file_->writeAt(off, data.data(), data.size());
    size_ = std::max(size_, off + data.size());
}

void SmtFile::release(MemoExtent e) {
    if (e.blocks == 0) return;
    // Never trust a reference blindly: an extent outside the data area or one
    // that is already free stays where it is (at worst a leak).
    if (e.block < firstData_ || e.block >= nextFree_ || e.blocks > nextFree_ - e.block ||
        overlapsFree(e))
        return;
    if (e.block + e.blocks == nextFree_) {
        nextFree_ = e.block;
        foldBack();
        return;
    }
    // Merge with free neighbours, as far as an entry can hold the size.
    for (bool merged = true; merged;) {
        merged = false;
        for (std::size_t i = 0; i < free_.size(); ++i) {
            const MemoExtent f = free_[i];
            if (std::uint64_t{f.blocks} + e.blocks > kMaxEntryBlocks) continue;
            if (f.block + f.blocks == e.block) {
                e = {f.block, f.blocks + e.blocks};
            } else if (e.block + e.blocks == f.block) {
                e = {e.block, e.blocks + f.blocks};
            } else {
                continue;
            }
            free_.erase(free_.begin() + static_cast<std::ptrdiff_t>(i));
            merged = true;
            break;
        }
    }
    while (e.blocks > kMaxEntryBlocks) {
        free_.push_back({e.block, kMaxEntryBlocks});
        e.block += kMaxEntryBlocks;
        e.blocks -= kMaxEntryBlocks;
    }
    free_.push_back(e);
    foldBack();
    sortFree();
    while (free_.size() > kMaxFreeEntries)
        free_.erase(free_.begin());
}

void SmtFile::restoreAllocation(const Allocation& a) {
    nextFree_ = a.nextFree;
    free_ = a.free;
    writeHeader();
    // A write that ran out of room may have left part of it past the end.
    if (file_->size() > a.size) {
        file_->truncate(a.size);
        size_ = a.size;
    }
}

void SmtFile::writeHeader() {
    std::uint8_t h[kHeaderSize] = {};
    putU32LE(h, nextFree_);
    putU32LE(h + 4, blockSize_);
    std::memcpy(h + 8, signature_, sizeof signature_);
    putU16LE(h + 18, static_cast<std::uint16_t>(free_.size()));
    for (std::size_t i = 0; i < free_.size(); ++i) {
        putU16LE(h + 20 + 6 * i, static_cast<std::uint16_t>(free_[i].blocks));
        putU32LE(h + 22 + 6 * i, free_[i].block);
    }
    file_->writeAt(0, h, sizeof h);
    size_ = std::max<std::uint64_t>(size_, kHeaderSize);
    const std::uint64_t end =
        std::max<std::uint64_t>(std::uint64_t{nextFree_} * blockSize_, kHeaderSize);
    if (size_ > end) {
        file_->truncate(end);
        size_ = end;
    }
}

}  // namespace xb
