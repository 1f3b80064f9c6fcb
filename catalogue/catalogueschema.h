// The catalogue's six tables as the Qt layer sees them: the layouts of
// store/tables (file names, fields and index tags in creation order; a tag's
// position is how the program selects it) with the texts the start-up check
// and the reorganisation show for each table, and the field display
// definitions of the data module's table objects.
#pragma once

#include <QList>
#include <QString>

#include <array>

#include "store/tables/cataloguetables.h"
#include "store/ttable.h"

namespace qv {

struct CatalogueTag {
    QString name;
    QString key;
    QString condition;  // empty: none
};

// A table as the Qt layer uses it: its layout (the one description of its
// files, fields and tags) with the file names and tags as texts, and what
// the program shows for it.
struct CatalogueTableDef {
    CatalogueTable table;
    const tables::Layout* layout;
    QString tableName;  // the table object's TableName
    QString dataFile;   // "_qvdisk.dbf"
    QString indexFile;  // "_qvdisk.nsx"
    QList<CatalogueTag> tags;
    QString indexText;        // the intro window's line while the index is built
    QString createFailure;    // the "Abbruch" message when creating fails
    QString completeFailure;  // ... when completing fails
    QString packText;         // the reorganisation's line while the table is packed
};

const CatalogueTableDef& catalogueTable(CatalogueTable t);

// The start-up check goes through the tables in this order.
inline constexpr std::array<CatalogueTable, kCatalogueTableCount> kCheckOrder = {
    CatalogueTable::Files,        CatalogueTable::Extensions, CatalogueTable::Categories,
    CatalogueTable::CarrierTypes, CatalogueTable::Addresses,  CatalogueTable::Entries};

// Tables are closed, opened and packed in this order (the data module's
// Table1 ... Table6).
inline constexpr std::array<CatalogueTable, kCatalogueTableCount> kTableOrder = {
    CatalogueTable::Entries,    CatalogueTable::Files,        CatalogueTable::Extensions,
    CatalogueTable::Categories, CatalogueTable::CarrierTypes, CatalogueTable::Addresses};

// The reorganisation deletes the index files in this order.
inline constexpr std::array<CatalogueTable, kCatalogueTableCount> kIndexDeletionOrder = {
    CatalogueTable::Files,      CatalogueTable::Entries,      CatalogueTable::Extensions,
    CatalogueTable::Categories, CatalogueTable::CarrierTypes, CatalogueTable::Addresses};

// The text of the two placeholder records of a new address table.
inline const QString kNoAddressName = QStringLiteral("< Kein Eintrag >");
// The address number of the second placeholder, outside every address tag.
inline constexpr int kOutsideAddressNumber = 99999;

// How the table object of `t` shows its fields in grids, in display order.
QList<FieldDisplayDef> catalogueDisplayDefs(CatalogueTable t);

}  // namespace qv
