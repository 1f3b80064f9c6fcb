#include "store/xbase/error.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/table_index.h"
#include "store/xbase/tag_order.h"

namespace xb {

void TableIndex::walkTagUnfiltered(int position, bool backward,
                                   const std::function<bool(std::uint32_t recno)>& fn) {
    requireOpen();
    NsxFile* nsx = nsx_.get();
    if (!nsx || position < 1 || position > nsx->tagCount()) throw noTagNumber(path(), position);
    NsxCursor cursor(nsx->tag(position - 1));
    for (bool ok = backward ? cursor.last() : cursor.first(); ok;
         ok = backward ? cursor.prev() : cursor.next()) {
        if (!fn(cursor.recno())) return;
    }
}

std::vector<std::uint32_t> TableIndex::seekRun(std::string_view value) {
    std::vector<std::uint32_t> out;
    if (!seekBytes(value)) return out;
    TagOrder& to = *tagOrder_;
    if (value.size() > static_cast<std::size_t>(to.runtime().keyLen))
        value = value.substr(0, static_cast<std::size_t>(to.runtime().keyLen));
    do {
        out.push_back(table_.recNo());
        table_.skip(1);
    } while (!table_.eof() && comparePrefix(to.key(), value) == 0);
    return out;
}

}  // namespace xb
