#include "store/xbase/field.h"

#include <utility>

namespace xb {

FieldList::FieldList(std::vector<FieldDesc> fields) : fields_(std::move(fields)) {
    std::uint32_t off = 1;
    for (auto& f : fields_) {
        f.offset = static_cast<std::uint16_t>(off);
        off += f.len;
    }
    recordLength_ = static_cast<std::uint16_t>(off);
}

int FieldList::find(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const std::string& f = fields_[i].name;
        if (f.size() != name.size()) continue;
        bool same = true;
        for (std::size_t k = 0; k < f.size(); ++k) {
            char a = f[k], b = name[k];
            if (a >= 'a' && a <= 'z') a = static_cast<char>(a - 32);
            if (b >= 'a' && b <= 'z') b = static_cast<char>(b - 32);
            if (a != b) {
                same = false;
                break;
            }
        }
        if (same) return static_cast<int>(i);
    }
    return -1;
}

bool FieldList::hasMemo() const {
    for (const auto& f : fields_)
        if (f.type == 'M') return true;
    return false;
}

}  // namespace xb
