#include "store/xbase/memo_store.h"

#include <algorithm>
#include <cstring>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/smt_file.h"

namespace xb {

namespace {

[[noreturn]] void corrupt(const std::string& path, const std::string& why,
                          std::int64_t recno = -1) {
    throw fileDamaged("Die Memodatei", path, why, recno);
}

// ---- non-text values ----------------------------------------------------------

constexpr int kMaxDepth = 32;

bool decodeOne(std::string_view s, std::size_t& pos, int depth, MemoValue& out) {
    if (pos >= s.size() || depth > kMaxDepth) return false;
    const auto* p = reinterpret_cast<const std::uint8_t*>(s.data());
    const std::size_t left = s.size() - pos - 1;
    const std::uint8_t tag = p[pos++];
    switch (tag) {
        case 0:
            out.type = MemoValue::Type::Nil;
            return true;
        case 1: {
            if (left < 2) return false;
            const std::size_t n = getU16LE(p + pos);
            if (left - 2 < n) return false;
            out.type = MemoValue::Type::Text;
            out.bytes.assign(s.data() + pos + 2, n);
            pos += 2 + n;
            return true;
        }
        case 2:
            if (left < 4) return false;
            out.type = MemoValue::Type::Integer;
            out.integer = static_cast<std::int32_t>(getU32LE(p + pos));
            pos += 4;
            return true;
        case 3: {
            if (left < 10) return false;
            out.type = MemoValue::Type::Number;
            out.width = p[pos];
            out.decimals = p[pos + 1];
            std::uint64_t bits = 0;
            for (int i = 7; i >= 0; --i)
                bits = (bits << 8) | p[pos + 2 + i];
            std::memcpy(&out.number, &bits, sizeof bits);
            pos += 10;
            return true;
        }
        case 4:
            if (left < 4) return false;
            out.type = MemoValue::Type::Date;
            out.jdn = static_cast<std::int32_t>(getU32LE(p + pos));
            pos += 4;
            return true;
        case 5:
            if (left < 1) return false;
            out.type = MemoValue::Type::Logical;
            out.logical = p[pos] != 0;
            pos += 1;
            return true;
        case 6: {
            if (left < 2) return false;
            const std::size_t n = getU16LE(p + pos);
            pos += 2;
            // Every element takes at least one byte: a count beyond the data
            // is damage, not a reason to reserve memory.
            if (n > s.size() - pos) return false;
            out.type = MemoValue::Type::Array;
            out.items.resize(n);
            for (std::size_t i = 0; i < n; ++i)
                if (!decodeOne(s, pos, depth + 1, out.items[i])) return false;
            return true;
        }
        default:
            return false;
    }
}

// ---- DBT and FPT (read only) --------------------------------------------------

// A reference of ASCII digits (leading blanks and zeros allowed, nothing
// after the digits) or, in a 4-byte field, a binary u32 LE. Returns false when
// there is no memo; throws Corrupt on a malformed reference.
bool parseBlockRef(const std::uint8_t* ref, std::size_t width, const std::string& path,
                   std::int64_t recno, std::uint32_t& block) {
    if (width == 4) {
        block = getU32LE(ref);
        return block != 0;
    }
    if (width == 0 || ref[0] == 0) return false;
    std::uint64_t v = 0;
    bool digits = false;
    for (std::size_t i = 0; i < width; ++i) {
        const std::uint8_t c = ref[i];
        if (c >= '0' && c <= '9') {
            digits = true;
            v = v * 10 + (c - '0');
            if (v > 0xFFFFFFFFu)
                corrupt(path, "Satz " + std::to_string(recno) + " hat einen ungültigen Memoverweis",
                        recno);
        } else if (c == ' ' && !digits) {
            continue;
        } else {
            corrupt(path, "Satz " + std::to_string(recno) + " hat einen ungültigen Memoverweis",
                    recno);
        }
    }
    block = static_cast<std::uint32_t>(v);
    return digits && block != 0;
}

bool blockRefWritten(const std::uint8_t* ref, std::size_t width) {
    if (width == 4) return getU32LE(ref) != 0;
    if (width == 0 || ref[0] == 0) return false;
    for (std::size_t i = 0; i < width; ++i)
        if (ref[i] != ' ') return true;
    return false;
}

[[noreturn]] void pastEnd(const std::string& path, std::int64_t recno, std::uint32_t block) {
    corrupt(path,
            "Satz " + std::to_string(recno) + " verweist auf Block " + std::to_string(block) +
                " hinter dem Ende der Memodatei",
            recno);
}

// DBT: 512-byte blocks; a memo runs from its block to the first 0x1A.
class DbtFile final : public MemoStore {
  public:
    explicit DbtFile(std::unique_ptr<RandomFile> file)
        : file_(std::move(file)), size_(file_->size()) {}

    MemoKind kind() const override { return MemoKind::Dbt; }
    const std::string& path() const override { return file_->path(); }
    std::uint64_t fileSize() const override { return size_; }
    bool written(const std::uint8_t* ref, std::size_t width) const override {
        return blockRefWritten(ref, width);
    }

    MemoValue read(const std::uint8_t* ref, std::size_t width, std::int64_t recno) override {
        MemoValue v;
        if (!blockRefWritten(ref, width)) return v;
        v.type = MemoValue::Type::Text;
        std::uint32_t block;
        if (!parseBlockRef(ref, width, path(), recno, block)) return v;
        std::uint64_t off = std::uint64_t{block} * 512;
        if (off >= size_) pastEnd(path(), recno, block);
        char chunk[4096];
        while (off < size_) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(sizeof chunk, size_ - off));
            const std::size_t got = file_->readAt(off, chunk, want);
            if (got == 0) break;
            const void* end = std::memchr(chunk, 0x1A, got);
            if (end) {
                v.bytes.append(chunk, static_cast<const char*>(end) - chunk);
                break;
            }
            v.bytes.append(chunk, got);
            off += got;
        }
        return v;
    }

  private:
    std::unique_ptr<RandomFile> file_;
    std::uint64_t size_;
};

// FPT: block size u32 BE at byte 4; each memo starts with type and length
// (u32 BE each) in its first block.
class FptFile final : public MemoStore {
  public:
    explicit FptFile(std::unique_ptr<RandomFile> file) : file_(std::move(file)) {
        std::uint8_t h[8];
        file_->readExact(0, h, sizeof h, "der Kopf der Memodatei");
        blockSize_ = getU32BE(h + 4);
        if (blockSize_ == 0) corrupt(path(), "die Blockgröße ist 0");
        size_ = file_->size();
    }

    MemoKind kind() const override { return MemoKind::Fpt; }
    const std::string& path() const override { return file_->path(); }
    std::uint64_t fileSize() const override { return size_; }
    bool written(const std::uint8_t* ref, std::size_t width) const override {
        return blockRefWritten(ref, width);
    }

    MemoValue read(const std::uint8_t* ref, std::size_t width, std::int64_t recno) override {
        MemoValue v;
        if (!blockRefWritten(ref, width)) return v;
        v.type = MemoValue::Type::Text;
        std::uint32_t block;
        if (!parseBlockRef(ref, width, path(), recno, block)) return v;
        const std::uint64_t off = std::uint64_t{block} * blockSize_;
        std::uint8_t h[8];
        if (off + 8 > size_ || file_->readAt(off, h, 8) != 8) pastEnd(path(), recno, block);
        const std::uint32_t type = getU32BE(h);
        const std::uint32_t len = getU32BE(h + 4);
        if (off + 8 + len > size_) pastEnd(path(), recno, block);
        v.bytes.resize(len);
        if (file_->readAt(off + 8, v.bytes.data(), len) != len) pastEnd(path(), recno, block);
        if (type != 1) v.type = MemoValue::Type::Binary;
        return v;
    }

  private:
    std::unique_ptr<RandomFile> file_;
    std::uint32_t blockSize_ = 64;
    std::uint64_t size_ = 0;
};

}  // namespace

MemoValue decodeMemoValue(std::string_view stored) {
    MemoValue v;
    std::size_t pos = 0;
    if (decodeOne(stored, pos, 0, v) && pos == stored.size()) return v;
    MemoValue raw;
    raw.type = MemoValue::Type::Binary;
    raw.bytes.assign(stored);
    return raw;
}

std::unique_ptr<MemoStore> openMemoStore(MemoKind kind, std::unique_ptr<RandomFile> file,
                                         bool writable) {
    switch (kind) {
        case MemoKind::Smt:
            return std::make_unique<SmtFile>(std::move(file), writable);
        case MemoKind::Dbt:
            return std::make_unique<DbtFile>(std::move(file));
        case MemoKind::Fpt:
            return std::make_unique<FptFile>(std::move(file));
        case MemoKind::None:
            break;
    }
    return nullptr;
}

std::string memoPathFor(const std::string& dbfPath, MemoKind kind) {
    const char* ext = kind == MemoKind::Dbt ? "dbt" : kind == MemoKind::Fpt ? "fpt" : "smt";
    const std::size_t slash = dbfPath.find_last_of('/');
    std::size_t dot = dbfPath.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        dot = dbfPath.size();
    bool upper = dot + 1 < dbfPath.size();
    for (std::size_t i = dot + 1; i < dbfPath.size(); ++i)
        if (!(dbfPath[i] >= 'A' && dbfPath[i] <= 'Z')) upper = false;
    std::string out = dbfPath.substr(0, dot) + ".";
    for (const char* c = ext; *c; ++c)
        out.push_back(upper ? static_cast<char>(*c - 32) : *c);
    return out;
}

}  // namespace xb
