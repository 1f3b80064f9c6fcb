#include "import/core/importops.h"

#include <string>

#include "catalogue/cataloguesession.h"
#include "store/guards.h"
#include "store/ttable.h"
#include "store/xbase/error.h"

#include "store/xbase/table.h"

namespace qv {

namespace {

const char* const kTextFields[] = {"BEZEICH", "KATEGORIE", "DISKART", "PROG01", "PROG02",
                                   "PROG03",  "PROG04",    "PROG05",  "PROG06", "PROG07",
                                   "PROG08",  "PROG09",    "PROG10",  "PROG11", "PROG12"};

struct NumberField {
    const char* name;
    int highest;
};
const NumberField kNumberFields[] = {{"BOXNUMMER", 99999}, {"DISKNUMMER", 99999}, {"PROGDSKS", 99}};

// One source record's values, read and checked before anything is written.
struct SourceValues {
    QString texts[std::size(kTextFields)];
    int numbers[std::size(kNumberFields)] = {};
};

SourceValues readSource(const TTable& source) {
    SourceValues v;
    for (std::size_t i = 0; i < std::size(kTextFields); ++i)
        v.texts[i] =
            source.FieldByName(QLatin1String(kTextFields[i])).AsString() + QLatin1Char(' ');
    for (std::size_t i = 0; i < std::size(kNumberFields); ++i) {
        const NumberField& f = kNumberFields[i];
        const int n = source.FieldByName(QLatin1String(f.name)).AsInteger();
        if (n < 0 || n > f.highest)
            throw Error(ErrorCode::Range,
                        std::string("Der Wert ") + std::to_string(n) + " im Feld " + f.name +
                            " liegt nicht zwischen 0 und " + std::to_string(f.highest));
        v.numbers[i] = n;
    }
    return v;
}

// The loop of importEntries(): one new entry per source record, posted at
// once; `number` and `result` follow each one.
void importRecords(CatalogueSession& session, TTable& source, const std::function<void(int)>& step,
                   int& number, ImportResult& result) {
    TTable& entries = session.table(CatalogueTable::Entries);
    for (source.First(); !source.Eof(); source.Next()) {
        if (source.CopyRecord().startsWith('*')) continue;
        SourceValues v;
        try {
            v = readSource(source);
        } catch (const Error& e) {
            throw Error(
                e.code(),
                "Datensatz " + std::to_string(source.RecNo()) + " der Importdatei: " + e.text(),
                source.filePath().toStdString(), source.RecNo());
        }
        if (number >= kHighestEntryNumber)
            throw Error(ErrorCode::Range,
                        "Es ist keine weitere Eintragsnummer frei (höchste Nummer 99999998 "
                        "erreicht)");
        ++number;
        ScopedEdit insert(entries);
        entries.Append();
        entries.FieldByName(QStringLiteral("EINDEUTIG")).setAsInteger(number);
        for (std::size_t i = 0; i < std::size(kTextFields); ++i)
            entries.FieldByName(QLatin1String(kTextFields[i])).setAsString(v.texts[i]);
        for (std::size_t i = 0; i < std::size(kNumberFields); ++i)
            entries.FieldByName(QLatin1String(kNumberFields[i].name)).setAsInteger(v.numbers[i]);
        insert.post();
        session.bringCounterPast(number);
        if (result.imported == 0) result.firstNumber = number;
        result.lastNumber = number;
        ++result.imported;
        if (step) step(result.imported);
    }
}

}  // namespace

void checkImportSource(const TTable& source) {
    auto require = [&](const char* name) {
        if (!source.hasField(QLatin1String(name)))
            throw Error(
                ErrorCode::NotFound,
                "Der Importdatei " + source.filePath().toStdString() + " fehlt das Feld " + name,
                source.filePath().toStdString());
    };
    for (const char* f : kTextFields)
        require(f);
    for (const NumberField& f : kNumberFields)
        require(f.name);
}

ImportResult importEntries(CatalogueSession& session, TTable& source,
                           const std::function<void(int)>& step) {
    checkImportSource(source);
    TTable& entries = session.table(CatalogueTable::Entries);
    entries.CheckBrowseMode();
    ImportResult result;
    int number = session.highestEntryNumber();
    // A write that fails (a full disk) takes the whole import back.
    const xb::Table::TakeBackPoint point = entries.engine()->takeBackPoint();
    try {
        importRecords(session, source, step, number, result);
    } catch (const Error& e) {
        if (e.code() == ErrorCode::IoError) {
            bool takenBack = false;
            try {
                entries.CheckBrowseMode();
            } catch (...) {
            }
            try {
                entries.engine()->takeBack(point, {});
                takenBack = true;
            } catch (...) {
            }
            // Opening the table again brings the table object in step; an
            // index a failure left behind is built anew from the records.
            try {
                entries.Close();
                entries.Open();
            } catch (...) {
            }
            if (takenBack && result.imported > 0)
                throw Error(e.code(),
                            e.text() +
                                "; der Import wurde zurückgenommen, es wurde kein Eintrag "
                                "übernommen",
                            e.file(), e.record(), e.page());
        }
        if (result.imported == 0) throw;
        throw Error(e.code(),
                    e.text() + "; bis dahin wurden " + std::to_string(result.imported) +
                        " Einträge übernommen",
                    e.file(), e.record(), e.page());
    }
    return result;
}

}  // namespace qv
