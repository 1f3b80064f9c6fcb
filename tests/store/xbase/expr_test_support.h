// Helpers for the expression tests: the catalogue's table layouts and a
// builder of record bytes for any field list, independent of the table code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/expr.h"
#include "store/xbase/field.h"

namespace exprtest {

// The entry table _qvdisk, the file table _qvdir and the address table
// _verleih, field by field as the catalogue creates them.
xb::FieldList diskLayout();
xb::FieldList dirLayout();
xb::FieldList addressLayout();
// A small layout with one field of every type the expressions read:
// NAME C10, NOTE C5, NOT C3, MENGE N6.2, ANZAHL N5, DATUM D, OK L, TEXT M.
xb::FieldList mixedLayout();

// Record bytes for a field list: starts as the blank record (every byte a
// blank) and takes field values in their stored text form.
class RecordBuilder {
  public:
    explicit RecordBuilder(const xb::FieldList& fields);

    // C: the text (UTF-8, stored as Windows-1252) left-aligned, padded or
    // cut; N: the text right-aligned; D: "YYYYMMDD"; L: one letter.
    RecordBuilder& set(std::string_view field, std::string_view utf8);
    // An N field as the table writes a number (str() of width and decimals).
    RecordBuilder& number(std::string_view field, double v);
    // Raw bytes at the field's offset, exactly as given (at most its width).
    RecordBuilder& raw(std::string_view field, std::string_view bytes);
    RecordBuilder& deleted(bool on = true);

    xb::RecordRef ref(std::uint32_t recno = 1) const { return {bytes_.data(), recno}; }
    const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  private:
    const xb::FieldDesc& field(std::string_view name) const;

    const xb::FieldList& fields_;
    std::vector<std::uint8_t> bytes_;
};

// A value as a short text for test messages and table-driven expectations:
// C:<bytes as UTF-8>, N:<number>, D:<YYYYMMDD or blank>, L:.T./.F.
std::string describe(const xb::Value& v);

// The message of the qv::Error that compiling `text` throws, or "" when it
// compiles.
std::string compileError(std::string_view text, const xb::FieldList& fields);

// Calls of the global operator new so far in the test program (counted by
// the replacement in expr_alloc_test.cpp).
long allocationCount();

}  // namespace exprtest
