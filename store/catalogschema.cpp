#include "store/catalogschema.h"

namespace qv {

namespace {

const QString kNotDeleted = QStringLiteral("not deleted()");
const QString kAddressInTags = QStringLiteral("not deleted() .and. vnummer<99999");
const QString kRealAddress = QStringLiteral("not deleted() .and. vnummer>0 .and. vnummer<99999");
const QString kNotReleased = QStringLiteral("dirnumm<99999999");

QList<CatalogField> entryFields() {
    QList<CatalogField> f = {
        {"Eindeutig", 'N', 8, 0},  {"Bezeich", 'C', 50, 0},   {"Boxnummer", 'N', 5, 0},
        {"Disknummer", 'N', 5, 0}, {"Kategorie", 'C', 20, 0}, {"Progdsks", 'N', 2, 0},
        {"Diskart", 'C', 15, 0},   {"Leihrein", 'N', 5, 0},   {"Leihraus", 'N', 5, 0},
    };
    for (int i = 1; i <= 12; ++i)
        f.append({QStringLiteral("Prog%1").arg(i, 2, 10, QLatin1Char('0')), 'C', 1, 0});
    f.append({"Memo", 'M', 10, 0});
    return f;
}

std::array<CatalogTableDef, kCatalogTableCount> makeSchema() {
    std::array<CatalogTableDef, kCatalogTableCount> s;
    s[indexOf(CatalogTable::Entries)] = {
        CatalogTable::Entries,
        "_qvdisk.dbf",
        "_qvdisk.dbf",
        "_qvdisk.nsx",
        entryFields(),
        {
            {"eindeutig", "eindeutig", kNotDeleted},
            {"bezeich", "upper(bezeich)", kNotDeleted},
            {"nummer", "str(boxnummer,5)+str(disknummer,5)", kNotDeleted},
            {"kategorie", "upper(kategorie)", kNotDeleted},
            {"diskart", "upper(diskart)", kNotDeleted},
            {"diskart2", "upper(diskart)", {}},
            {"kategorie2", "upper(kategorie)", {}},
            {"bezeich2", "upper(bezeich)", {}},
            {"box2", "boxnummer", {}},
        },
        QStringLiteral("Indexdatei Datenträger ..."),
        QStringLiteral("Anlegen der Datenbank nicht möglich"),
        QStringLiteral("Neue Datenbank konnte nicht angelegt werden"),
        QStringLiteral("1.Grunddaten verdichten"),
    };
    s[indexOf(CatalogTable::Files)] = {
        CatalogTable::Files,
        "_qvdir.dbf",
        "_qvdir.dbf",
        "_qvdir.nsx",
        {
            {"dirnumm", 'N', 8, 0},
            {"dirname", 'C', 15, 0},
            {"direndung", 'C', 3, 0},
            {"dirpfad", 'C', 86, 0},
            {"dirdate", 'D', 8, 0},
            {"dirsize", 'N', 10, 0},
            {"dirtime", 'C', 5, 0},
            {"dirmemo", 'M', 10, 0},
        },
        {
            {"dirnumm", "str(dirnumm,8)+dirpfad", {}},
            {"namealle", "upper(dirname+direndung)+str(dirnumm,8)", kNotReleased},
            {"endungalle", "upper(direndung)+dirname+str(dirnumm,8)", kNotReleased},
        },
        QStringLiteral("Indexdatei Dateien ..."),
        QStringLiteral("Anlegen der Datenbank QVDIRW nicht möglich"),
        QStringLiteral("Neue Datenbank konnte nicht angelegt werden"),
        QStringLiteral("2.Zusatzdateien verdichten"),
    };
    s[indexOf(CatalogTable::Extensions)] = {
        CatalogTable::Extensions,
        "_endung.dbf",
        "_endung.dbf",
        "_endung.nsx",
        {{"endung", 'C', 3, 0}, {"bezeich", 'C', 40, 0}},
        {{"endung1", "upper(endung)", kNotDeleted}},
        QStringLiteral("Indexdatei Endungen ..."),
        QStringLiteral("Anlegen der Datenbank ENDUNG nicht möglich"),
        QStringLiteral("Neue Datenbank (Endung) konnte nicht angelegt werden"),
        QStringLiteral("3. Dateiendungen verdichten"),
    };
    s[indexOf(CatalogTable::Categories)] = {
        CatalogTable::Categories,
        "_katego.dbf",
        "_katego.dbf",
        "_katego.nsx",
        {{"katego", 'C', 20, 0}, {"anzahl", 'N', 6, 0}},
        {{"kategotag", "upper(katego)", kNotDeleted}},
        QStringLiteral("Indexdatei Kategorien ..."),
        QStringLiteral("Anlegen der Datenbank KATEGO nicht möglich"),
        QStringLiteral("Neue Kategorien (Endung) konnte nicht angelegt werden"),
        QStringLiteral("4.Kategorien verdichten"),
    };
    s[indexOf(CatalogTable::CarrierTypes)] = {
        CatalogTable::CarrierTypes,
        "_diskart.dbf",
        "_diskart.dbf",
        "_diskart.nsx",
        {{"cdiskart", 'C', 15, 0}},
        {{"cdiskartag", "upper(cdiskart)", kNotDeleted}},
        QStringLiteral("Indexdatei Datenträgerarten ..."),
        QStringLiteral("Anlegen der Datenbank DISKART nicht möglich"),
        QStringLiteral("Neue Kategorien (Datenträger-Art) konnte nicht angelegt werden"),
        QStringLiteral("5.Datenträgerart verdichten"),
    };
    s[indexOf(CatalogTable::Addresses)] = {
        CatalogTable::Addresses,
        "_verleih",
        "_verleih.dbf",
        "_verleih.nsx",
        {
            {"vNummer", 'N', 5, 0},
            {"vName", 'C', 40, 0},
            {"vVorname", 'C', 40, 0},
            {"vZusatz", 'C', 40, 0},
            {"vstrasse", 'C', 40, 0},
            {"vplz", 'C', 6, 0},
            {"vort", 'C', 40, 0},
            {"vtelefon", 'C', 30, 0},
            {"vfax", 'C', 30, 0},
            {"vemail", 'C', 40, 0},
            {"vbemerk1", 'C', 50, 0},
            {"vbemerk2", 'C', 50, 0},
        },
        {
            {"vnummer", "str(vnummer,5)", kAddressInTags},
            {"vname", "upper(vname)", kRealAddress},
            {"vplz", "upper(vplz)", kRealAddress},
            {"vort", "upper(vort)", kRealAddress},
        },
        QStringLiteral("Indexdatei Adressen ..."),
        QStringLiteral("Anlegen der Datenbank VERLEIH nicht möglich"),
        QStringLiteral("Neue Datenbank (Verleih-Adressen) konnte nicht angelegt werden"),
        QStringLiteral("6.Adressen verdichten"),
    };
    return s;
}

// Every field of a table in file order with its default label.
QList<FieldDisplayDef> defaultDefs(CatalogTable t) {
    QList<FieldDisplayDef> defs;
    for (const CatalogField& f : catalogTable(t).fields)
        defs.append({f.name.toUpper(), {}, 0, true});
    return defs;
}

}  // namespace

const CatalogTableDef& catalogTable(CatalogTable t) {
    static const std::array<CatalogTableDef, kCatalogTableCount> schema = makeSchema();
    return schema[indexOf(t)];
}

QList<FieldDisplayDef> catalogDisplayDefs(CatalogTable t) {
    switch (t) {
        case CatalogTable::Entries: {
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
        case CatalogTable::Files:
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
