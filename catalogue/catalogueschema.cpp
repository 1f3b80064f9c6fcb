#include "catalogue/catalogueschema.h"

namespace qv {

namespace {

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QList<CatalogueTag> tagsOf(CatalogueTable t) {
    QList<CatalogueTag> g;
    for (const tables::Tag& d : tables::layoutOf(t).tags)
        g.append({text(d.name), text(d.key), text(d.condition)});
    return g;
}

// What the program shows for each table: the table object's name and the
// texts of the start-up check and the reorganisation.
struct TableTexts {
    CatalogueTable table;
    const char* tableName;
    std::array<QString, 4> texts;  // index, create failure, complete failure, pack
};

std::array<CatalogueTableDef, kCatalogueTableCount> makeSchema() {
    const TableTexts texts[] = {
        {CatalogueTable::Entries,
         "_qvdisk.dbf",
         {QStringLiteral("Indexdatei Datenträger ..."),
          QStringLiteral("Anlegen der Datenbank nicht möglich"),
          QStringLiteral("Neue Datenbank konnte nicht angelegt werden"),
          QStringLiteral("1.Grunddaten verdichten")}},
        {CatalogueTable::Files,
         "_qvdir.dbf",
         {QStringLiteral("Indexdatei Dateien ..."),
          QStringLiteral("Anlegen der Datenbank QVDIRW nicht möglich"),
          QStringLiteral("Neue Datenbank konnte nicht angelegt werden"),
          QStringLiteral("2.Zusatzdateien verdichten")}},
        {CatalogueTable::Extensions,
         "_endung.dbf",
         {QStringLiteral("Indexdatei Endungen ..."),
          QStringLiteral("Anlegen der Datenbank ENDUNG nicht möglich"),
          QStringLiteral("Neue Datenbank (Endung) konnte nicht angelegt werden"),
          QStringLiteral("3. Dateiendungen verdichten")}},
        {CatalogueTable::Categories,
         "_katego.dbf",
         {QStringLiteral("Indexdatei Kategorien ..."),
          QStringLiteral("Anlegen der Datenbank KATEGO nicht möglich"),
          QStringLiteral("Neue Kategorien (Endung) konnte nicht angelegt werden"),
          QStringLiteral("4.Kategorien verdichten")}},
        {CatalogueTable::CarrierTypes,
         "_diskart.dbf",
         {QStringLiteral("Indexdatei Datenträgerarten ..."),
          QStringLiteral("Anlegen der Datenbank DISKART nicht möglich"),
          QStringLiteral("Neue Kategorien (Datenträger-Art) konnte nicht angelegt werden"),
          QStringLiteral("5.Datenträgerart verdichten")}},
        {CatalogueTable::Addresses,
         "_verleih",
         {QStringLiteral("Indexdatei Adressen ..."),
          QStringLiteral("Anlegen der Datenbank VERLEIH nicht möglich"),
          QStringLiteral("Neue Datenbank (Verleih-Adressen) konnte nicht angelegt werden"),
          QStringLiteral("6.Adressen verdichten")}},
    };
    std::array<CatalogueTableDef, kCatalogueTableCount> s;
    for (const TableTexts& t : texts) {
        const tables::Layout& layout = tables::layoutOf(t.table);
        s[indexOf(t.table)] = {t.table,
                               &layout,
                               QString::fromUtf8(t.tableName),
                               text(layout.dataFile),
                               text(layout.indexFile),
                               tagsOf(t.table),
                               t.texts[0],
                               t.texts[1],
                               t.texts[2],
                               t.texts[3]};
    }
    return s;
}

// Every field of a table in file order with its default label.
QList<FieldDisplayDef> defaultDefs(CatalogueTable t) {
    QList<FieldDisplayDef> defs;
    for (const tables::Field& f : tables::layoutOf(t).fields)
        defs.append({text(f.name).toUpper(), {}, 0, true});
    return defs;
}

}  // namespace

const CatalogueTableDef& catalogueTable(CatalogueTable t) {
    static const std::array<CatalogueTableDef, kCatalogueTableCount> schema = makeSchema();
    return schema[indexOf(t)];
}

QList<FieldDisplayDef> catalogueDisplayDefs(CatalogueTable t) {
    switch (t) {
        case CatalogueTable::Entries: {
            QList<FieldDisplayDef> d = {
                {"BEZEICH", QStringLiteral("Bezeichnung"), 45, true},
                {"PROGDSKS", QStringLiteral("Anzahl"), 5, true},
                {"BOXNUMMER", QStringLiteral("Box"), 5, true},
                {"DISKNUMMER", QStringLiteral("Nummer"), 5, true},
                {"DISKART", QStringLiteral("Datenträger"), 11, true},
                {"KATEGORIE", QStringLiteral("Kategorie"), 17, true},
                {"EINDEUTIG", {}, 0, false},
            };
            const char* statusLabels = "123W56789ABC";
            for (int i = 0; i < 12; ++i)
                d.append({QStringLiteral("PROG%1").arg(i + 1, 2, 10, QLatin1Char('0')),
                          QString(QLatin1Char(statusLabels[i])), 2, false});
            d.append({"MEMO", {}, 0, false});
            d.append({"LEIHREIN", {}, 0, false});
            d.append({"LEIHRAUS", {}, 0, false});
            return d;
        }
        case CatalogueTable::Files:
            // DIRMEMO has no definition: the table objects do not show it.
            return {
                {"DIRNUMM", {}, 0, false},
                {"DIRNAME", QStringLiteral("Datei"), 0, true},
                {"DIRENDUNG", QStringLiteral(" "), 0, false},
                {"DIRSIZE", QStringLiteral("Größe"), 0, true},
                {"DIRDATE", QStringLiteral("Datum"), 0, true},
                {"DIRTIME", QStringLiteral("Zeit"), 0, true},
                {"DIRPFAD", QStringLiteral("Verzeichnis+Datei"), 0, true},
            };
        default:
            return defaultDefs(t);
    }
}

}  // namespace qv
