#include "entries/core/entryops.h"

#include <cstdlib>
#include <string>

#include "catalogue/cataloguesession.h"
#include "lending/core/lending.h"
#include "store/conversion.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"

namespace qv {

namespace {

QString flagField(int i) {
    return QStringLiteral("PROG%1").arg(i + 1, 2, 10, QLatin1Char('0'));
}

QString fieldText(const TTable& t, const char* field) {
    return trimmedRight(t.FieldByName(QLatin1String(field)).AsString());
}

// A number field's text: the stored digits, "" for a blank field.
QString numberText(const TTable& t, const char* field) {
    const TField f = t.FieldByName(QLatin1String(field));
    return f.IsNull() ? QString() : QString::number(f.AsInteger());
}

int convertNumber(const QString& text, int emptyValue, int low, int high, const char* what,
                  EntryNumberField which, EntryNumberField* failed) {
    if (failed) *failed = which;
    const int v = text.trimmed().isEmpty() ? emptyValue : strToInt(text);
    if (v < low || v > high)
        throw Error(ErrorCode::Range, std::string(what) + " " + std::to_string(v) +
                                          " liegt nicht zwischen " + std::to_string(low) + " und " +
                                          std::to_string(high));
    if (failed) *failed = EntryNumberField::None;
    return v;
}

TTable& entryTable(CatalogueSession& s) {
    return s.table(CatalogueTable::Entries);
}

// Runs the editor on the current record (in edit or insert state) and writes
// what it returned; false when the editor did not end with OK.
bool runEditor(TTable& entries, const EntryEditor& editor) {
    EntryFields fields = readEntryFields(entries);
    if (!editor(fields)) return false;
    writeEntryFields(entries, fields);
    return true;
}

}  // namespace

bool flagIsSet(const QString& stored) {
    return !stored.trimmed().isEmpty();
}

QString flagToWrite(const EntryFields& f, int i) {
    const auto k = static_cast<std::size_t>(i);
    const QString& stored = f.storedFlags[k];
    if (f.ticked[k] == flagIsSet(stored)) return stored.isEmpty() ? QStringLiteral(" ") : stored;
    return f.ticked[k] ? QStringLiteral("x") : QStringLiteral(" ");
}

EntryNumbers convertEntryNumbers(const EntryFields& f, EntryNumberField* failed) {
    EntryNumbers n;
    n.carriers =
        convertNumber(f.carriers, 1, 0, 99, "Die Anzahl", EntryNumberField::Carriers, failed);
    n.box = convertNumber(f.box, 0, 0, 99999, "Die Box-Nummer", EntryNumberField::Box, failed);
    n.disk = convertNumber(f.disk, 0, 0, 99999, "Die Datenträger-Nummer", EntryNumberField::Disk,
                           failed);
    return n;
}

EntryFields readEntryFields(const TTable& entries) {
    EntryFields f;
    f.title = fieldText(entries, "BEZEICH");
    f.category = fieldText(entries, "KATEGORIE");
    f.carrierType = fieldText(entries, "DISKART");
    f.carriers = numberText(entries, "PROGDSKS");
    f.box = numberText(entries, "BOXNUMMER");
    f.disk = numberText(entries, "DISKNUMMER");
    for (int i = 0; i < 12; ++i) {
        const auto k = static_cast<std::size_t>(i);
        f.storedFlags[k] = entries.FieldByName(flagField(i)).AsString();
        f.ticked[k] = flagIsSet(f.storedFlags[k]);
    }
    return f;
}

void writeEntryFields(TTable& entries, const EntryFields& f) {
    const EntryNumbers n = convertEntryNumbers(f);
    entries.FieldByName(QStringLiteral("BEZEICH")).setAsString(singleLine(f.title));
    entries.FieldByName(QStringLiteral("PROGDSKS")).setAsInteger(n.carriers);
    entries.FieldByName(QStringLiteral("BOXNUMMER")).setAsInteger(n.box);
    entries.FieldByName(QStringLiteral("DISKNUMMER")).setAsInteger(n.disk);
    entries.FieldByName(QStringLiteral("DISKART")).setAsString(singleLine(f.carrierType));
    entries.FieldByName(QStringLiteral("KATEGORIE")).setAsString(singleLine(f.category));
    for (int i = 0; i < 12; ++i)
        entries.FieldByName(flagField(i)).setAsString(flagToWrite(f, i));
}

bool editEntry(CatalogueSession& session, const EntryEditor& editor) {
    if (!hasCurrentEntry(session)) throw Error(ErrorCode::State, "Kein Datensatz vorhanden");
    TTable& entries = entryTable(session);
    ScopedSuspend entryView(session.view(CatalogueTable::Entries));
    ScopedSuspend fileView(session.view(CatalogueTable::Files));
    const int r = entries.RecNo();
    bool ok = false;
    {
        ScopedEdit edit(entries);
        entries.Edit();
        ok = runEditor(entries, editor);
        if (ok) edit.post();
    }
    entries.setRecNo(r);
    return ok;
}

int newEntry(CatalogueSession& session, const EntryEditor& editor) {
    TTable& entries = entryTable(session);
    ScopedSuspend entryView(session.view(CatalogueTable::Entries));
    ScopedSuspend fileView(session.view(CatalogueTable::Files));
    const bool hadEntry = hasCurrentEntry(session);
    const int a = entries.RecNo();
    const int number = session.neuenummer();
    bool ok = false;
    {
        ScopedEdit insert(entries);
        entries.Append();
        entries.FieldByName(QStringLiteral("EINDEUTIG")).setAsInteger(number);
        ok = runEditor(entries, editor);
        if (ok) insert.post();
    }
    if (ok) {
        entries.setRecNo(entries.RecNo());
        return number;
    }
    if (hadEntry)
        entries.setRecNo(a);
    else
        entries.First();
    return 0;
}

int copyEntry(CatalogueSession& session, const EntryEditor& editor) {
    if (!hasCurrentEntry(session)) throw Error(ErrorCode::State, "Kein Datensatz vorhanden");
    TTable& entries = entryTable(session);
    ScopedSuspend entryView(session.view(CatalogueTable::Entries));
    ScopedSuspend fileView(session.view(CatalogueTable::Files));
    const QByteArray source = entries.CopyRecord();
    const int number = session.neuenummer();
    int c = 0;
    {
        ScopedEdit insert(entries);
        entries.Append();
        entries.PasteRecord(source);
        entries.FieldByName(QStringLiteral("EINDEUTIG")).setAsInteger(number);
        insert.post();
        c = entries.RecNo();
    }
    // The copy is stored; the dialog only changes it.
    editEntry(session, editor);
    entries.setRecNo(c);
    return number;
}

void storeAdditionalText(CatalogueSession& session, const QString& text) {
    if (!hasCurrentEntry(session)) throw Error(ErrorCode::State, "Kein Datensatz vorhanden");
    TTable& entries = entryTable(session);
    ScopedEdit edit(entries);
    entries.Edit();
    entries.FieldByName(QStringLiteral("MEMO")).setMemoText(text);
    edit.post();
}

int nextCarrierNumber(CatalogueSession& session, int box) {
    xb::Table* t = entryTable(session).engine();
    if (!t) throw Error(ErrorCode::State, "Die Eintragstabelle ist nicht geöffnet");
    const int boxField = t->fieldIndex("BOXNUMMER");
    const int diskField = t->fieldIndex("DISKNUMMER");
    auto number = [&](const std::string& rec, int field) {
        const xb::FieldDesc& d = t->field(field);
        return std::atoi(rec.substr(d.offset, d.len).c_str());
    };
    // Tag `nummer` holds the non-deleted entries by box, then carrier
    // number: walking back from the end, the first entry of the box carries
    // its highest number.
    int highest = 0;
    std::string rec(t->recordLength(), ' ');
    t->walkTagUnfiltered(tagPosition(CatalogueTable::Entries, QStringLiteral("nummer")), true,
                         [&](std::uint32_t recno) {
                             t->readRecordAt(recno, reinterpret_cast<std::uint8_t*>(rec.data()));
                             if (rec[0] == '*') return true;
                             const int b = number(rec, boxField);
                             if (b > box) return true;
                             if (b == box) highest = number(rec, diskField);
                             return false;
                         });
    if (highest >= 99999)
        throw Error(ErrorCode::Range, "In der Box " + std::to_string(box) +
                                          " ist keine Datenträgernummer mehr frei (höchste "
                                          "Nummer 99999 vergeben)");
    return highest + 1;
}

}  // namespace qv
