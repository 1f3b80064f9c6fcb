// The entry table's records as the store holds them, read through the table
// object record by record (deleted ones included), for checks after a
// window or an operation wrote them.
#pragma once

#include <QString>

#include <vector>

class TTable;

namespace qvtest {

struct StoredEntry {
    int recno = 0;
    bool deleted = false;
    int number = 0;
    QString title;  // trimmed at the right, as are the other texts
    QString category;
    QString carrierType;
    int carriers = 0;
    int box = 0;
    int disk = 0;
    QString flags;  // PROG01 ... PROG12 as stored, one character each
    int lentTo = 0;
    int borrowedFrom = 0;
    QString memo;  // exactly as stored
};

// Every record of the open entry table; the table goes back to the record
// it stood on (its state must be browse).
std::vector<StoredEntry> storedEntries(TTable& entries);
// The one non-deleted record with entry number `number`; a test failure and
// an empty value when there is none or more than one.
StoredEntry storedEntry(TTable& entries, int number);

}  // namespace qvtest
