// The catalogue's six tables as the Qt layer sees them: the layouts of
// store/tables (file names, fields and index tags in creation order; a tag's
// position is how the program selects it) with the texts the start-up check and the reorganisation
// show for each table, and the field display definitions of the data module's table objects.
#pragma once

#include <QList>
#include <QString>

#include <array>

#include "store/tables/catalogtables.h"
#include "store/ttable.h"

namespace qv {

struct CatalogField {
    QString name;  // as created; the file stores it upper-cased
    char type;     // 'C', 'N', 'D', 'M'
    int width;
    int decimals;
};

struct CatalogTag {
    QString name;
    QString key;
    QString condition;  // empty: none
};

struct CatalogTableDef {
    CatalogTable table;
    QString tableName;  // the table object's TableName
    QString dataFile;   // "_qvdisk.dbf"
    QString indexFile;  // "_qvdisk.nsx"
    QList<CatalogField> fields;
    QList<CatalogTag> tags;
    QString indexText;        // the intro window's line while the index is built
    QString createFailure;    // the "Abbruch" message when creating fails
    QString completeFailure;  // ... when completing fails
    QString packText;         // the reorganisation's line while the table is packed
};

const CatalogTableDef& catalogTable(CatalogTable t);

// The start-up check goes through the tables in this order.
inline constexpr std::array<CatalogTable, kCatalogTableCount> kCheckOrder = {
    CatalogTable::Files,        CatalogTable::Extensions, CatalogTable::Categories,
    CatalogTable::CarrierTypes, CatalogTable::Addresses,  CatalogTable::Entries};

// Tables are closed, opened and packed in this order (Table1 ... Table6).
inline constexpr std::array<CatalogTable, kCatalogTableCount> kTableOrder = {
    CatalogTable::Entries,    CatalogTable::Files,        CatalogTable::Extensions,
    CatalogTable::Categories, CatalogTable::CarrierTypes, CatalogTable::Addresses};

// The reorganisation deletes the index files in this order.
inline constexpr std::array<CatalogTable, kCatalogTableCount> kIndexDeletionOrder = {
    CatalogTable::Files,      CatalogTable::Entries,      CatalogTable::Extensions,
    CatalogTable::Categories, CatalogTable::CarrierTypes, CatalogTable::Addresses};

// The text of the two placeholder records of a new address table.
inline const QString kNoAddressName = QStringLiteral("< Kein Eintrag >");
// The address number of the second placeholder, outside every address tag.
inline constexpr int kOutsideAddressNumber = 99999;

// How the table object of `t` shows its fields in grids, in display order.
QList<FieldDisplayDef> catalogDisplayDefs(CatalogTable t);

}  // namespace qv
