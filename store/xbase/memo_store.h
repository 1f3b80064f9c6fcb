// Memo files: the stores behind a table's M fields.
//
// The DBF record holds a fixed-width reference per memo field; the memo file
// holds the data. Three formats can be read (SMT, DBT, FPT); only SMT, the
// catalogue's own, can be written (smt_file.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/dbf_header.h"
#include "store/xbase/env.h"

namespace xb {

// A memo field's value. Text memos are the rule; other xBase programs can
// also store numbers, dates, logicals and arrays in an SMT memo, which are
// decoded here so that they can be shown and copied.
struct MemoValue {
    enum class Type {
        None,     // never written
        Text,     // `bytes` holds the text (empty for an emptied memo)
        Nil,      // the value NIL
        Integer,  // `integer`
        Number,   // `number`, shown with `width` and `decimals`
        Date,     // `jdn` (0 = empty date)
        Logical,  // `logical`
        Array,    // `items`
        Binary,   // a value this engine cannot decode: raw stored bytes in `bytes`
    };
    Type type = Type::None;
    std::string bytes;
    std::int64_t integer = 0;
    double number = 0;
    int width = 0;
    int decimals = 0;
    std::int32_t jdn = 0;
    bool logical = false;
    std::vector<MemoValue> items;
};

// Decodes the stored bytes of a non-text SMT value, whose first byte is the
// value's tag (0 nil, 1 text inside arrays, 2 integer, 3 number, 4 date,
// 5 logical, 6 array). Bytes that do not form one complete value give Binary.
MemoValue decodeMemoValue(std::string_view stored);

class MemoStore {
  public:
    virtual ~MemoStore() = default;

    virtual MemoKind kind() const = 0;
    virtual const std::string& path() const = 0;
    // True when the field's reference says a memo was written at some time
    // (an emptied memo counts as written).
    virtual bool written(const std::uint8_t* ref, std::size_t width) const = 0;
    // The value the reference points to. Throws Corrupt naming the memo file
    // and `recno` when the reference is malformed or points outside the file.
    virtual MemoValue read(const std::uint8_t* ref, std::size_t width, std::int64_t recno) = 0;
    // The memo file's size in bytes.
    virtual std::uint64_t fileSize() const = 0;
};

// Opens the store of a memo file. SMT files can be opened writable; DBT and
// FPT files are read only. Throws Corrupt when the file's header is damaged.
std::unique_ptr<MemoStore> openMemoStore(MemoKind kind, std::unique_ptr<RandomFile> file,
                                         bool writable);

// The memo file that belongs to a table file: the extension replaced by
// .smt, .dbt or .fpt (upper case when the table's extension is upper case).
std::string memoPathFor(const std::string& dbfPath, MemoKind kind);

}  // namespace xb
