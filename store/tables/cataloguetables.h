// The catalogue's six tables, and the volume table beside them, as the
// program creates them: data and index file names, fields in creation order
// (names as created; the file stores them upper-cased), index tags in
// creation order (their position is how the program selects them).
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

// A table's files, fields and tags.
struct TableLayout {
    std::string_view dataFile;   // "_qvdisk.dbf"
    std::string_view indexFile;  // "_qvdisk.nsx"
    std::span<const Field> fields;
    std::span<const Tag> tags;
};

// One of the six tables.
struct Layout : TableLayout {
    CatalogueTable table;
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
// The file record's memo keeps the whole path of a file whose name or path
// the fields cut, in UTF-8; every other memo of the catalogue holds
// Windows-1252 text like the fields.
inline constexpr std::string_view kFullPathMemo = "dirmemo";
// Whether the memo field `name` (any case) is that one.
bool memoHoldsUtf8(std::string_view name);
// The text of a memo of field `name` in UTF-8: the kept path as it is, when
// its bytes are UTF-8 (another program may have written Windows-1252 there);
// every other memo converted from Windows-1252.
std::string memoTextUtf8(std::string_view name, std::string_view bytes);
// The text of memo field `idx` of `rec`, record `recno` of `t` as it is
// stored, in UTF-8 by memoTextUtf8; empty when the memo was never written,
// holds no text, or cannot be read (the catalogue check reports a damaged
// memo, a display shows none).
std::string storedMemoText(xb::Table& t, int idx, const std::uint8_t* rec, std::uint32_t recno);

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
    {{"_qvdisk.dbf", "_qvdisk.nsx", kEntryFields, kEntryTags}, CatalogueTable::Entries},
    {{"_qvdir.dbf", "_qvdir.nsx", kFileFields, kFileTags}, CatalogueTable::Files},
    {{"_endung.dbf", "_endung.nsx", kExtensionFields, kExtensionTags}, CatalogueTable::Extensions},
    {{"_katego.dbf", "_katego.nsx", kCategoryFields, kCategoryTags}, CatalogueTable::Categories},
    {{"_diskart.dbf", "_diskart.nsx", kCarrierTypeFields, kCarrierTypeTags},
     CatalogueTable::CarrierTypes},
    {{"_verleih.dbf", "_verleih.nsx", kAddressFields, kAddressTags}, CatalogueTable::Addresses},
}};

// The volume table: what was seen of a carrier's volume at its last reading,
// one record per entry, keyed by the entry number. It stands beside the six
// tables and follows their conventions; catalogues made before it get it at
// their next start.
inline constexpr Field kVolumeFields[] = {
    {"Volnumm", 'N', 8, 0},      // entry number
    {"Volname", 'C', 32, 0},     // volume label
    {"Volkennung", 'C', 36, 0},  // file-system UUID or serial
    {"Voltyp", 'C', 12, 0},      // file-system type
    {"Volgesamt", 'N', 15, 0},   // total bytes
    {"Volfrei", 'N', 15, 0},     // free bytes
    {"Volmodell", 'C', 40, 0},   // the device's model
    {"Voldatum", 'D', 8, 0},     // date of the reading
    {"Volzeit", 'C', 8, 0},      // time of the reading, "hh:mm:ss"
    {"Voldateien", 'N', 10, 0},  // files on the volume
    {"Volbytes", 'N', 15, 0},    // their total size
};
inline constexpr Tag kVolumeTags[] = {{"volnumm", "str(volnumm,8)", kNotDeleted}};
inline constexpr TableLayout kVolumeLayout = {"_qvvol.dbf", "_qvvol.nsx", kVolumeFields,
                                              kVolumeTags};

inline constexpr const Layout& layoutOf(CatalogueTable t) {
    return kLayouts[static_cast<std::size_t>(indexOf(t))];
}

// The data file's name without its extension ("_qvdir").
inline std::string_view baseName(const TableLayout& l) {
    return l.dataFile.substr(0, l.dataFile.find('.'));
}

// The position of a field or tag by name (any case), or -1.
int fieldPosition(const TableLayout& l, std::string_view name);
int tagPosition(const TableLayout& l, std::string_view name);

// Writes a new, empty table with the layout's fields at `path` (the data
// file, and the memo file when there are memo fields); no index.
void createTable(const TableLayout& l, const std::string& path, xb::Env& env = xb::Env::posix());
// Adds the layout's tags, in order, to an open table of that layout (each
// built over the records there).
void createTags(xb::Table& t, const TableLayout& l);
// createTable(), then the table opened exclusively with its tags.
std::unique_ptr<xb::Table> createIndexedTable(const TableLayout& l, const std::string& path,
                                              xb::Env& env = xb::Env::posix());
// The layout's tags as index definitions, with the key type and length their
// expressions have over the layout's fields, as the engine stores them (names
// upper-cased, operators dotted).
std::vector<xb::NsxTagDef> tagDefs(const TableLayout& l);

}  // namespace tables
}  // namespace qv
