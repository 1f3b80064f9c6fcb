// Field descriptors and the view of one record that expressions and index
// keys are evaluated on.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace xb {

struct FieldDesc {
    std::string name;       // upper case, as stored in the table header
    char type = 'C';        // 'C', 'N', 'D', 'L', 'M'; other letters are read-only
    std::uint16_t len = 0;  // width in bytes (10 for SMT memo fields)
    std::uint8_t dec = 0;   // decimals of N fields
    std::uint16_t offset = 0;  // byte offset inside the record; the deletion flag is byte 0
};

// The fields of one table, in file order, with a case-insensitive lookup.
class FieldList {
public:
    FieldList() = default;
    explicit FieldList(std::vector<FieldDesc> fields);  // computes offsets from widths

    std::size_t size() const { return fields_.size(); }
    const FieldDesc& operator[](std::size_t i) const { return fields_[i]; }
    const std::vector<FieldDesc>& all() const { return fields_; }
    // Index of the field with this name (any case), or -1.
    int find(std::string_view name) const;
    // 1 (deletion flag) + the sum of all widths.
    std::uint16_t recordLength() const { return recordLength_; }
    bool hasMemo() const;

private:
    std::vector<FieldDesc> fields_;
    std::uint16_t recordLength_ = 1;
};

// One record as expressions see it: the raw record bytes (deletion flag at 0,
// fields at their offsets) and its record number. A record number of
// (record count + 1) with all-blank bytes is the blank "phantom" record.
struct RecordRef {
    const std::uint8_t* data = nullptr;
    std::uint32_t recno = 0;
};

}  // namespace xb
