#include "store/catalogschema.h"

namespace qv {

namespace {

QString text(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QList<CatalogField> fieldsOf(CatalogTable t) {
    QList<CatalogField> f;
    for (const tables::Field& d : tables::layoutOf(t).fields)
        f.append({text(d.name), d.type, d.width, d.decimals});
    return f;
}

QList<CatalogTag> tagsOf(CatalogTable t) {
    QList<CatalogTag> g;
    for (const tables::Tag& d : tables::layoutOf(t).tags)
        g.append({text(d.name), text(d.key), text(d.condition)});
    return g;
}

std::array<CatalogTableDef, kCatalogTableCount> makeSchema() {
    std::array<CatalogTableDef, kCatalogTableCount> s;
    s[indexOf(CatalogTable::Entries)] = {
        CatalogTable::Entries,
        "_qvdisk.dbf",
        text(tables::layoutOf(CatalogTable::Entries).dataFile),
        text(tables::layoutOf(CatalogTable::Entries).indexFile),
        fieldsOf(CatalogTable::Entries),
        tagsOf(CatalogTable::Entries),
        QStringLiteral("Indexdatei Datenträger ..."),
        QStringLiteral("Anlegen der Datenbank nicht möglich"),
        QStringLiteral("Neue Datenbank konnte nicht angelegt werden"),
        QStringLiteral("1.Grunddaten verdichten"),
    };
    s[indexOf(CatalogTable::Files)] = {
        CatalogTable::Files,
        "_qvdir.dbf",
        text(tables::layoutOf(CatalogTable::Files).dataFile),
        text(tables::layoutOf(CatalogTable::Files).indexFile),
        fieldsOf(CatalogTable::Files),
        tagsOf(CatalogTable::Files),
        QStringLiteral("Indexdatei Dateien ..."),
        QStringLiteral("Anlegen der Datenbank QVDIRW nicht möglich"),
        QStringLiteral("Neue Datenbank konnte nicht angelegt werden"),
        QStringLiteral("2.Zusatzdateien verdichten"),
    };
    s[indexOf(CatalogTable::Extensions)] = {
        CatalogTable::Extensions,
        "_endung.dbf",
        text(tables::layoutOf(CatalogTable::Extensions).dataFile),
        text(tables::layoutOf(CatalogTable::Extensions).indexFile),
        fieldsOf(CatalogTable::Extensions),
        tagsOf(CatalogTable::Extensions),
        QStringLiteral("Indexdatei Endungen ..."),
        QStringLiteral("Anlegen der Datenbank ENDUNG nicht möglich"),
        QStringLiteral("Neue Datenbank (Endung) konnte nicht angelegt werden"),
        QStringLiteral("3. Dateiendungen verdichten"),
    };
    s[indexOf(CatalogTable::Categories)] = {
        CatalogTable::Categories,
        "_katego.dbf",
        text(tables::layoutOf(CatalogTable::Categories).dataFile),
        text(tables::layoutOf(CatalogTable::Categories).indexFile),
        fieldsOf(CatalogTable::Categories),
        tagsOf(CatalogTable::Categories),
        QStringLiteral("Indexdatei Kategorien ..."),
        QStringLiteral("Anlegen der Datenbank KATEGO nicht möglich"),
        QStringLiteral("Neue Kategorien (Endung) konnte nicht angelegt werden"),
        QStringLiteral("4.Kategorien verdichten"),
    };
    s[indexOf(CatalogTable::CarrierTypes)] = {
        CatalogTable::CarrierTypes,
        "_diskart.dbf",
        text(tables::layoutOf(CatalogTable::CarrierTypes).dataFile),
        text(tables::layoutOf(CatalogTable::CarrierTypes).indexFile),
        fieldsOf(CatalogTable::CarrierTypes),
        tagsOf(CatalogTable::CarrierTypes),
        QStringLiteral("Indexdatei Datenträgerarten ..."),
        QStringLiteral("Anlegen der Datenbank DISKART nicht möglich"),
        QStringLiteral("Neue Kategorien (Datenträger-Art) konnte nicht angelegt werden"),
        QStringLiteral("5.Datenträgerart verdichten"),
    };
    s[indexOf(CatalogTable::Addresses)] = {
        CatalogTable::Addresses,
        "_verleih",
        text(tables::layoutOf(CatalogTable::Addresses).dataFile),
        text(tables::layoutOf(CatalogTable::Addresses).indexFile),
        fieldsOf(CatalogTable::Addresses),
        tagsOf(CatalogTable::Addresses),
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
