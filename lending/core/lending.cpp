#include "lending/core/lending.h"

#include <cstdlib>
#include <set>
#include <string>

#include "catalogue/cataloguesession.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

namespace {

xb::Table& openEngine(CatalogueSession& session, CatalogueTable t, const char* what) {
    xb::Table* e = session.table(t).engine();
    if (!e) throw Error(ErrorCode::State, std::string("Die ") + what + " ist nicht geöffnet");
    return *e;
}

// A numeric field of a record read from the file.
int numberIn(const std::string& rec, const xb::FieldDesc& f) {
    return std::atoi(rec.substr(f.offset, f.len).c_str());
}

}  // namespace

int nextAddressNumber(CatalogueSession& session) {
    xb::Table& addresses = openEngine(session, CatalogueTable::Addresses, "Adresstabelle");
    const xb::FieldDesc& number = addresses.field(addresses.fieldIndex("VNUMMER"));
    int highest = 0;
    // Tag `vnummer` holds the non-deleted addresses below 99999, highest last.
    addresses.index().walkTagUnfiltered(
        tagPosition(CatalogueTable::Addresses, QStringLiteral("vnummer")), true,
        [&](std::uint32_t recno) {
            std::string rec(addresses.recordLength(), ' ');
            addresses.readRecordAt(recno, reinterpret_cast<std::uint8_t*>(rec.data()));
            if (rec[0] == '*') return true;
            highest = numberIn(rec, number);
            return false;
        });

    xb::Table& entries = openEngine(session, CatalogueTable::Entries, "Eintragstabelle");
    const xb::FieldDesc& lentTo = entries.field(entries.fieldIndex("LEIHRAUS"));
    const xb::FieldDesc& borrowedFrom = entries.field(entries.fieldIndex("LEIHREIN"));
    std::set<int> referred;
    // Tag `eindeutig` holds every non-deleted entry.
    entries.index().walkTagUnfiltered(
        tagPosition(CatalogueTable::Entries, QStringLiteral("eindeutig")), false,
        [&](std::uint32_t recno) {
            std::string rec(entries.recordLength(), ' ');
            entries.readRecordAt(recno, reinterpret_cast<std::uint8_t*>(rec.data()));
            if (rec[0] == '*') return true;
            referred.insert(numberIn(rec, lentTo));
            referred.insert(numberIn(rec, borrowedFrom));
            return true;
        });
    int next = highest + 1;
    while (referred.count(next))
        ++next;
    return next;
}

QString lendingFieldName(LendingField field) {
    return field == LendingField::LentTo ? QStringLiteral("leihraus") : QStringLiteral("leihrein");
}

bool hasCurrentEntry(CatalogueSession& session) {
    TTable& t = session.table(CatalogueTable::Entries);
    if (!t.Active() || t.Eof() || t.state() == TTable::dsInsert) return false;
    return session.apollo(CatalogueTable::Entries).sx_OrderRecNo() > 0;
}

void setLending(CatalogueSession& session, LendingField field, int number) {
    if (!hasCurrentEntry(session)) throw Error(ErrorCode::State, "Kein Datensatz vorhanden");
    TTable& t = session.table(CatalogueTable::Entries);
    TApollo& apollo = session.apollo(CatalogueTable::Entries);
    const int recno = apollo.sx_RecNo();
    {
        ScopedEdit edit(t);
        t.Edit();
        t.FieldByName(lendingFieldName(field)).setAsInteger(number);
        edit.post();
    }
    apollo.sx_Go(recno);
}

}  // namespace qv
