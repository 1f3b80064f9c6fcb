// The catalogue the statistics tests count: flags of every spelling,
// categories differing in case, one category no entry uses, one entry whose
// category is unknown, and a flagged entry that counts nowhere.
#pragma once

#include <filesystem>
#include <vector>

#include "catalogue/dm.h"
#include "store/guards.h"
#include "store/ttable.h"
#include "store/xbase/settings.h"
#include "support/catalogue/cataloguebuilder.h"

namespace qvtest {

inline EntryRow statEntry(int number, const char* title, const char* category, int carriers,
                          const char* flags, bool deleted = false) {
    EntryRow r;
    r.number = number;
    r.title = QString::fromUtf8(title);
    r.category = QString::fromUtf8(category);
    r.carriers = carriers;
    r.flags = QString::fromUtf8(flags);
    r.deleted = deleted;
    return r;
}

// Record order = title order; the carriers add up to 15.
inline std::vector<EntryRow> statEntries() {
    return {statEntry(1, "A", "Spiele", 2, "x"),   statEntry(2, "B", "SPIELE", 3, "X x"),
            statEntry(3, "C", "spiele", 1, " "),   statEntry(4, "D", "Büro", 5, "xxxxxxxxxxxx"),
            statEntry(5, "E", "Unbekannt", 4, ""), statEntry(6, "F", "Spiele", 9, "x", true)};
}

// Appends categories (with a count left over from an earlier run) to the
// closed catalogue in `dir`.
inline void addCategories(const std::filesystem::path& dir, const std::vector<const char*>& names) {
    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(dir.string()));
    TTable& t = dm.table(qv::CatalogueTable::Categories);
    t.Open();
    for (const char* name : names) {
        qv::ScopedEdit edit(t);
        t.Append();
        t.FieldByName(QStringLiteral("KATEGO")).setAsString(QString::fromUtf8(name));
        t.FieldByName(QStringLiteral("ANZAHL")).setAsInteger(77);
        edit.post();
    }
    t.Close();
}

inline void createStatCatalogue(const std::filesystem::path& dir) {
    createCatalogue(dir);
    addEntries(dir, statEntries());
    addCategories(dir, {"Spiele", "Büro", "Leer"});
}

}  // namespace qvtest
