#include "store/xbase/error.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/table_index.h"

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

}  // namespace xb
