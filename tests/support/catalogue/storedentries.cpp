#include "support/catalogue/storedentries.h"

#include <gtest/gtest.h>

#include "store/ttable.h"

namespace qvtest {

namespace {

QString text(TTable& t, const QString& field) {
    QString s = t.FieldByName(field).AsString();
    while (s.endsWith(QLatin1Char(' ')))
        s.chop(1);
    return s;
}

}  // namespace

std::vector<StoredEntry> storedEntries(TTable& t) {
    std::vector<StoredEntry> out;
    const int back = t.RecNo();
    for (int r = 1; r <= t.RecordCount(); ++r) {
        t.setRecNo(r);
        StoredEntry e;
        e.recno = r;
        e.deleted = t.CopyRecord().startsWith('*');
        e.number = t.FieldByName(QStringLiteral("EINDEUTIG")).AsInteger();
        e.title = text(t, QStringLiteral("BEZEICH"));
        e.category = text(t, QStringLiteral("KATEGORIE"));
        e.carrierType = text(t, QStringLiteral("DISKART"));
        e.carriers = t.FieldByName(QStringLiteral("PROGDSKS")).AsInteger();
        e.box = t.FieldByName(QStringLiteral("BOXNUMMER")).AsInteger();
        e.disk = t.FieldByName(QStringLiteral("DISKNUMMER")).AsInteger();
        for (int i = 1; i <= 12; ++i)
            e.flags +=
                t.FieldByName(QStringLiteral("PROG%1").arg(i, 2, 10, QLatin1Char('0'))).AsString();
        e.lentTo = t.FieldByName(QStringLiteral("LEIHRAUS")).AsInteger();
        e.borrowedFrom = t.FieldByName(QStringLiteral("LEIHREIN")).AsInteger();
        e.memo = t.FieldByName(QStringLiteral("MEMO")).memoText();
        out.push_back(e);
    }
    t.setRecNo(back);
    return out;
}

StoredEntry storedEntry(TTable& t, int number) {
    StoredEntry found;
    int hits = 0;
    for (const StoredEntry& e : storedEntries(t))
        if (!e.deleted && e.number == number) {
            found = e;
            ++hits;
        }
    EXPECT_EQ(hits, 1) << "entries numbered " << number;
    return found;
}

}  // namespace qvtest
