#include "store/xbase/dbf_file.h"

#include <algorithm>
#include <cstring>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"

namespace xb {

namespace {
constexpr std::size_t kWindowBytes = 128 * 1024;
// Appended records held in a batch before they are written.
constexpr std::size_t kHeldBytes = 256 * 1024;
}  // namespace

DbfFile::DbfFile(std::unique_ptr<RandomFile> file, bool writable, Env& env)
    : file_(std::move(file)), env_(&env), writable_(writable) {
    std::uint8_t fixed[kFixedHeaderSize];
    file_->readExact(0, fixed, sizeof fixed, "der Tabellenkopf");
    const std::size_t hl = std::max<std::size_t>(headerLengthOf(fixed), kFixedHeaderSize);
    std::vector<std::uint8_t> head(hl);
    const std::size_t got = file_->readAt(0, head.data(), hl);
    header_ = parseDbfHeader(head.data(), got, path());

    size_ = file_->size();
    const std::uint64_t body = size_ - header_.headerLength;
    const std::uint64_t count = body / header_.recordLength;
    if (count > 0xFFFFFFFEu) throw fileDamaged("Die Datei", path(), "zu viele Datensätze");
    count_ = static_cast<std::uint32_t>(count);
    const std::uint64_t rest = body % header_.recordLength;
    std::uint8_t tail = 0;
    if (rest > 0) file_->readAt(offsetOf(count_ + 1), &tail, 1);
    const bool partial = rest > 1 || (rest == 1 && tail != kEofMarker);
    if (header_.storedCount > count_) missing_ = header_.storedCount - count_;

    if (writable_) {
        if (partial) {
            // A killed writer left part of a record: cut it off.
            cutPartial_ = true;
            writeEofMarker();
        }
        if (header_.storedCount != count_) {
            // The count is rewritten now; finish() later also restores the
            // 0x1A that a writer killed during an append may have left out.
            repairedCount_ = true;
            writeHeader();
            changed_ = true;
        }
    }
    scratch_.resize(header_.recordLength + 1u);
}

void DbfFile::readRecord(std::uint32_t recno, std::uint8_t* dst) {
    const std::size_t rl = header_.recordLength;
    if (recno < 1 || recno > count_) throw noSuchRecord(path(), recno);
    if (recno > inFile()) writeAppends();
    if (recno < winFirst_ || recno >= winFirst_ + winCount_) {
        // Windows grow while reading in sequence (4 KiB, doubling up to
        // kWindowBytes); a jump reads one record, so that walking an index
        // order, where neighbouring records meet only now and then, does not
        // pay for large reads.
        const bool forward = lastRead_ != 0 && recno == lastRead_ + 1;
        const bool backward = lastRead_ != 0 && recno + 1 == lastRead_;
        std::uint32_t n = 1;
        std::uint32_t first = recno;
        if (forward || backward) {
            seqBytes_ = std::min(kWindowBytes, std::max<std::size_t>(4096, seqBytes_ * 2));
            n = static_cast<std::uint32_t>(std::max<std::size_t>(1, seqBytes_ / rl));
            if (backward) first = recno >= n ? recno - n + 1 : 1;
        } else {
            seqBytes_ = 0;
            // A jump: the first few with a read call each, so that a table
            // opened for a few records (a window's list, a lookup) neither
            // maps its file nor takes the mapping down at close; after that
            // from the file's view, which spares the call on a long walk.
            const std::uint64_t end = offsetOf(inFile() + 1);
            const std::uint8_t* v = ++jumps_ > kReadCallJumps ? file_->view(end) : nullptr;
            if (v) {
                std::memcpy(dst, v + offsetOf(recno), rl);
                lastRead_ = recno;
                return;
            }
        }
        n = std::min(n, inFile() - first + 1);
        window_.resize(std::size_t{n} * rl);
        winCount_ = 0;
        file_->readExact(offsetOf(first), window_.data(), window_.size(), "ein Datensatz");
        winFirst_ = first;
        winCount_ = n;
    }
    std::memcpy(dst, window_.data() + std::size_t{recno - winFirst_} * rl, rl);
    lastRead_ = recno;
}

void DbfFile::readRecords(std::uint32_t first, std::uint32_t n, std::uint8_t* dst) {
    if (n == 0) return;
    writeAppends();
    file_->readExact(offsetOf(first), dst, std::size_t{n} * header_.recordLength, "ein Datensatz");
}

const std::uint8_t* DbfFile::recordsView(std::uint32_t first, std::uint32_t n) {
    if (n == 0) return nullptr;
    writeAppends();
    const std::uint8_t* v = file_->view(offsetOf(inFile() + 1));
    if (!v) return nullptr;
    const std::size_t bytes = std::size_t{n} * header_.recordLength;
    file_->prefaultView(offsetOf(first), bytes);
    return v + offsetOf(first);
}

void DbfFile::readScattered(const std::uint32_t* recnos, std::size_t n, std::uint8_t* dst) {
    const std::size_t rl = header_.recordLength;
    for (std::size_t i = 0; i < n; ++i, dst += rl) {
        const std::uint32_t recno = recnos[i];
        if (recno < 1 || recno > count_) throw noSuchRecord(path(), recno);
        if (recno > inFile()) writeAppends();
        if (recno >= winFirst_ && recno < winFirst_ + winCount_) {
            std::memcpy(dst, window_.data() + std::size_t{recno - winFirst_} * rl, rl);
            continue;
        }
        file_->readExact(offsetOf(recno), dst, rl, "ein Datensatz");
    }
}

std::vector<std::uint8_t> DbfFile::headerBytes() {
    writeAppends();
    std::vector<std::uint8_t> h(header_.headerLength);
    file_->readExact(0, h.data(), h.size(), "der Dateikopf");
    return h;
}

void DbfFile::writeRecord(std::uint32_t recno, const std::uint8_t* src) {
    const std::size_t rl = header_.recordLength;
    if (recno > inFile()) writeAppends();
    // A record that is already in the file is stored through the shared
    // mapping when there is one: it reaches the file as a write call would,
    // without the call.
    if (std::uint8_t* m = useMap_ ? file_->writableView(offsetOf(inFile() + 1)) : nullptr) {
        std::memcpy(m + offsetOf(recno), src, rl);
    } else {
        useMap_ = false;
        file_->writeAt(offsetOf(recno), src, rl);
    }
    if (recno >= winFirst_ && recno < winFirst_ + winCount_)
        std::memcpy(window_.data() + std::size_t{recno - winFirst_} * rl, src, rl);
    changed_ = true;
    if (!batchAppends_) headerInStep();
}

std::uint32_t DbfFile::appendRecord(const std::uint8_t* src) {
    const std::size_t rl = header_.recordLength;
    if (count_ >= 0xFFFFFFFEu) throw fileError("Die Datei", path(), "weiter wachsen");
    if (batchAppends_) {
        held_.insert(held_.end(), src, src + rl);
        ++count_;
        changed_ = true;
        if (held_.size() >= kHeldBytes) writeAppends();
        return count_;
    }
    std::memcpy(scratch_.data(), src, rl);
    scratch_[rl] = kEofMarker;
    const std::uint64_t off = offsetOf(count_ + 1);
    try {
        file_->writeAt(off, scratch_.data(), rl + 1);
    } catch (...) {
        restoreEnd(off);
        throw;
    }
    ++count_;
    size_ = std::max(size_, off + rl + 1);
    changed_ = true;
    headerInStep();
    return count_;
}

void DbfFile::restoreEnd(std::uint64_t end) {
    // A write that ran out of room may have left part of it behind. Cutting
    // first keeps the byte at `end`, whose block is already there, so the
    // end mark needs no new room.
    try {
        file_->truncate(end + 1);
        const std::uint8_t eof = kEofMarker;
        file_->writeAt(end, &eof, 1);
        size_ = end + 1;
    } catch (...) {  // the next writable open cuts it off
    }
}

void DbfFile::currentDate(int& year, int& month, int& day) {
    const std::time_t now = env_->now();
    if (now != dateAt_) {
        today(*env_, dateY_, dateM_, dateD_);
        dateAt_ = now;
    }
    year = dateY_;
    month = dateM_;
    day = dateD_;
}

void DbfFile::cutBack(std::uint32_t count) {
    const std::uint32_t there = inFile();
    held_.clear();
    winCount_ = 0;
    count_ = std::min(count, there);
    const std::uint64_t end = offsetOf(count_ + 1);
    file_->truncate(end + 1);
    const std::uint8_t eof = kEofMarker;
    file_->writeAt(end, &eof, 1);
    size_ = end + 1;
    changed_ = true;
    writeHeader();
}

void DbfFile::headerInStep() {
    int y, m, d;
    currentDate(y, m, d);
    if (header_.storedCount != count_ || header_.year != y || header_.month != m ||
        header_.day != d)
        writeHeader();
}

void DbfFile::batchAppends(bool on) {
    batchAppends_ = on;
    if (!on) {
        writeAppends();
        if (changed_) headerInStep();
    }
}

void DbfFile::writeAppends() {
    if (held_.empty()) return;
    const std::uint32_t first = inFile() + 1;
    held_.push_back(kEofMarker);
    const std::uint64_t off = offsetOf(first);
    try {
        file_->writeAt(off, held_.data(), held_.size());
    } catch (...) {
        // The records stay held; the file is cut back to the records it
        // had, so that it ends as its header says.
        held_.pop_back();
        restoreEnd(off);
        throw;
    }
    size_ = std::max<std::uint64_t>(size_, off + held_.size());
    held_.clear();
    headerInStep();
}

void DbfFile::setFlags(std::uint8_t flags) {
    writeAppends();
    header_.flags = flags;
    writeHeader();
}

void DbfFile::writeHeader() {
    writeAppends();
    int y, m, d;
    currentDate(y, m, d);
    std::uint8_t fixed[kFixedHeaderSize];
    encodeFixedHeader(header_, count_, y, m, d, fixed);
    // Through the shared mapping when there is one, as records are: the
    // header's block is always there, so the store needs no new room.
    if (std::uint8_t* map = useMap_ ? file_->writableView(sizeof fixed) : nullptr) {
        std::memcpy(map, fixed, sizeof fixed);
    } else {
        useMap_ = false;
        file_->writeAt(0, fixed, sizeof fixed);
    }
    std::memcpy(header_.fixed.data(), fixed, sizeof fixed);
    header_.year = y;
    header_.month = m;
    header_.day = d;
    header_.storedCount = count_;
}

void DbfFile::writeEofMarker() {
    writeAppends();
    const std::uint64_t end = offsetOf(count_ + 1);
    const std::uint8_t eof = kEofMarker;
    file_->writeAt(end, &eof, 1);
    if (size_ != end + 1) file_->truncate(end + 1);
    size_ = end + 1;
}

void DbfFile::finish() {
    if (!changed_) return;
    writeHeader();
    writeEofMarker();
    changed_ = false;
}

}  // namespace xb
