// The catalogue's six tables as the program creates them: data and index
// file names, fields in creation order (names as created; the file stores
// them upper-cased), index tags in creation order (their position is how the
// program selects them).
//
// Plain C++ on the engine alone, so that the store's schema, the store tool,
// the benchmarks, the fuzzers and the tests all build the same tables.
#pragma once

#include <array>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "store/xbase/env.h"
#include "store/xbase/nsx_file.h"

namespace xb {
class Table;
}

namespace qv {

// The six tables; the value is the number of the data-module table object
// named Table1 ... Table6, minus one.
enum class CatalogueTable { Entries, Files, Extensions, Categories, CarrierTypes, Addresses };

inline constexpr int kCatalogueTableCount = 6;

inline constexpr int indexOf(CatalogueTable t) {
    return static_cast<int>(t);
}

namespace tables {

struct Field {
    std::string_view name;  // as created
    char type;              // 'C', 'N', 'D', 'M'
    int width;
    int decimals;
};

struct Tag {
    std::string_view name;
    std::string_view key;
    std::string_view condition;  // empty: none
};

struct Layout {
    CatalogueTable table;
    std::string_view dataFile;   // "_qvdisk.dbf"
    std::string_view indexFile;  // "_qvdisk.nsx"
    std::span<const Field> fields;
    std::span<const Tag> tags;
};

inline constexpr std::string_view kNotDeleted = "not deleted()";
inline constexpr std::string_view kAddressInTags = "not deleted() .and. vnummer<99999";
inline constexpr std::string_view kRealAddress =
    "not deleted() .and. vnummer>0 .and. vnummer<99999";
// Files of an entry that is being released carry this number.
inline constexpr std::string_view kNotReleased = "dirnumm<99999999";

inline constexpr Field kEntryFields[] = {
    {"Eindeutig", 'N', 8, 0},  {"Bezeich", 'C', 50, 0},   {"Boxnummer", 'N', 5, 0},
    {"Disknummer", 'N', 5, 0}, {"Kategorie", 'C', 20, 0}, {"Progdsks", 'N', 2, 0},
    {"Diskart", 'C', 15, 0},   {"Leihrein", 'N', 5, 0},   {"Leihraus", 'N', 5, 0},
    {"Prog01", 'C', 1, 0},     {"Prog02", 'C', 1, 0},     {"Prog03", 'C', 1, 0},
    {"Prog04", 'C', 1, 0},     {"Prog05", 'C', 1, 0},     {"Prog06", 'C', 1, 0},
    {"Prog07", 'C', 1, 0},     {"Prog08", 'C', 1, 0},     {"Prog09", 'C', 1, 0},
    {"Prog10", 'C', 1, 0},     {"Prog11", 'C', 1, 0},     {"Prog12", 'C', 1, 0},
    {"Memo", 'M', 10, 0},
};
inline constexpr Tag kEntryTags[] = {
    {"eindeutig", "eindeutig", kNotDeleted},
    {"bezeich", "upper(bezeich)", kNotDeleted},
    {"nummer", "str(boxnummer,5)+str(disknummer,5)", kNotDeleted},
    {"kategorie", "upper(kategorie)", kNotDeleted},
    {"diskart", "upper(diskart)", kNotDeleted},
    {"diskart2", "upper(diskart)", {}},
    {"kategorie2", "upper(kategorie)", {}},
    {"bezeich2", "upper(bezeich)", {}},
    {"box2", "boxnummer", {}},
};

inline constexpr Field kFileFields[] = {
    {"dirnumm", 'N', 8, 0},  {"dirname", 'C', 15, 0}, {"direndung", 'C', 3, 0},
    {"dirpfad", 'C', 86, 0}, {"dirdate", 'D', 8, 0},  {"dirsize", 'N', 10, 0},
    {"dirtime", 'C', 5, 0},  {"dirmemo", 'M', 10, 0},
};
inline constexpr Tag kFileTags[] = {
    {"dirnumm", "str(dirnumm,8)+dirpfad", {}},
    {"namealle", "upper(dirname+direndung)+str(dirnumm,8)", kNotReleased},
    {"endungalle", "upper(direndung)+dirname+str(dirnumm,8)", kNotReleased},
};

inline constexpr Field kExtensionFields[] = {{"endung", 'C', 3, 0}, {"bezeich", 'C', 40, 0}};
inline constexpr Tag kExtensionTags[] = {{"endung1", "upper(endung)", kNotDeleted}};

inline constexpr Field kCategoryFields[] = {{"katego", 'C', 20, 0}, {"anzahl", 'N', 6, 0}};
inline constexpr Tag kCategoryTags[] = {{"kategotag", "upper(katego)", kNotDeleted}};

inline constexpr Field kCarrierTypeFields[] = {{"cdiskart", 'C', 15, 0}};
inline constexpr Tag kCarrierTypeTags[] = {{"cdiskartag", "upper(cdiskart)", kNotDeleted}};

inline constexpr Field kAddressFields[] = {
    {"vNummer", 'N', 5, 0},  {"vName", 'C', 40, 0},    {"vVorname", 'C', 40, 0},
    {"vZusatz", 'C', 40, 0}, {"vstrasse", 'C', 40, 0}, {"vplz", 'C', 6, 0},
    {"vort", 'C', 40, 0},    {"vtelefon", 'C', 30, 0}, {"vfax", 'C', 30, 0},
    {"vemail", 'C', 40, 0},  {"vbemerk1", 'C', 50, 0}, {"vbemerk2", 'C', 50, 0},
};
inline constexpr Tag kAddressTags[] = {
    {"vnummer", "str(vnummer,5)", kAddressInTags},
    {"vname", "upper(vname)", kRealAddress},
    {"vplz", "upper(vplz)", kRealAddress},
    {"vort", "upper(vort)", kRealAddress},
};

inline constexpr std::array<Layout, kCatalogueTableCount> kLayouts = {{
    {CatalogueTable::Entries, "_qvdisk.dbf", "_qvdisk.nsx", kEntryFields, kEntryTags},
    {CatalogueTable::Files, "_qvdir.dbf", "_qvdir.nsx", kFileFields, kFileTags},
    {CatalogueTable::Extensions, "_endung.dbf", "_endung.nsx", kExtensionFields, kExtensionTags},
    {CatalogueTable::Categories, "_katego.dbf", "_katego.nsx", kCategoryFields, kCategoryTags},
    {CatalogueTable::CarrierTypes, "_diskart.dbf", "_diskart.nsx", kCarrierTypeFields,
     kCarrierTypeTags},
    {CatalogueTable::Addresses, "_verleih.dbf", "_verleih.nsx", kAddressFields, kAddressTags},
}};

inline constexpr const Layout& layoutOf(CatalogueTable t) {
    return kLayouts[static_cast<std::size_t>(indexOf(t))];
}

// The data file's name without its extension ("_qvdir").
inline std::string_view baseName(const Layout& l) {
    return l.dataFile.substr(0, l.dataFile.find('.'));
}

// The position of a field or tag by name (any case), or -1.
int fieldPosition(const Layout& l, std::string_view name);
int tagPosition(const Layout& l, std::string_view name);

// Writes a new, empty table with the layout's fields at `path` (the data
// file, and the memo file when there are memo fields); no index.
void createTable(const Layout& l, const std::string& path, xb::Env& env = xb::Env::posix());
// Adds the layout's tags, in order, to an open table of that layout (each
// built over the records there).
void createTags(xb::Table& t, const Layout& l);
// createTable(), then the table opened exclusively with its tags.
std::unique_ptr<xb::Table> createIndexedTable(const Layout& l, const std::string& path,
                                              xb::Env& env = xb::Env::posix());
// The layout's tags as index definitions, with the key type and length their
// expressions have over the layout's fields, as the engine stores them (names
// upper-cased, operators dotted).
std::vector<xb::NsxTagDef> tagDefs(const Layout& l);

}  // namespace tables
}  // namespace qv
