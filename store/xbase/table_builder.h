// Creating a new table: collect the fields, then write the files.
//
//   xb::TableBuilder b("/data/_katego.dbf");
//   b.addField("katego", 'C', 20);
//   b.addField("anzahl", 'N', 6, 0);
//   b.create();   // writes the .dbf (and an empty .smt when there are memos)
//
// The new table has version 0x03 (0xE5 with memo fields), today's date, byte
// 28 and 29 at 0, header length 32 + 32 × fields + 2 ending in 0x0D 0x00, and
// a single 0x1A after the header. Field names are stored upper-cased. The
// files are closed again when create() returns.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/env.h"
#include "store/xbase/field.h"

namespace xb {

class TableBuilder {
  public:
    static constexpr std::size_t kMaxNameLength = 10;
    static constexpr int kMaxCharWidth = 65534;
    static constexpr int kMaxNumericWidth = 255;

    // `path` gets ".dbf" when it has no extension.
    explicit TableBuilder(std::string path, Env& env = Env::posix());

    // Adds a field after the ones added so far. `type` is C, N, D, L or M (any
    // case); `width` 0 takes the fixed width of D (8), L (1) and M (10).
    // Throws InvalidArgument with a German text for an unknown type, a width
    // or decimal count the type does not allow, and a name that is empty,
    // longer than 10 characters, not made of letters, digits and '_' (not
    // starting with a digit), or already used (in any case).
    void addField(std::string_view name, char type, int width = 0, int decimals = 0);

    std::size_t fieldCount() const { return fields_.size(); }
    const std::string& path() const { return path_; }

    // Writes the table; an existing table of that name is replaced. Throws
    // InvalidArgument when no field was added or the record would exceed
    // 65,535 bytes, Locked when the table is open elsewhere, IoError when
    // writing fails.
    void create();

  private:
    std::string path_;
    Env& env_;
    std::vector<FieldDesc> fields_;
};

}  // namespace xb
