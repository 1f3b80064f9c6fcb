// The entries the query tests search in.
#pragma once

#include <vector>

#include "support/catalogue/cataloguebuilder.h"

namespace qvtest {

inline EntryRow queryEntry(int number, const char* title, int box, const char* category,
                           const char* type, bool deleted = false) {
    EntryRow r;
    r.number = number;
    r.title = QString::fromUtf8(title);
    r.box = box;
    r.category = QString::fromUtf8(category);
    r.carrierType = QString::fromUtf8(type);
    r.deleted = deleted;
    return r;
}

// Six entries and a flagged one. In title order: 6, 4, 5, 3, 1, 2.
inline std::vector<EntryRow> queryEntries() {
    return {queryEntry(1, "Windows 95", 7, "Betriebssystem", "CD-ROM"),
            queryEntry(2, "Winword 6", 3, "Büro", "Diskette"),
            queryEntry(3, "Straßenatlas", 7, "Reise", "CD-ROM"),
            queryEntry(4, "Doom", 12, "Spiele", "Diskette"),
            queryEntry(5, "SPIELESAMMLUNG", 7, "spiele", "CD-ROM"),
            queryEntry(6, "Die \"kleine\" Box", 1, "Reise", "ZIP"),
            queryEntry(7, "Windig", 7, "Spiele", "CD-ROM", true)};
}

}  // namespace qvtest
