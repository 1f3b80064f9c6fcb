// The operations of the master-data lists, without a window: a lookup or
// address table seen through one view and its engine access object, in the
// tag the list shows. The list windows are thin slots around them; tests and
// the store tool call them directly on the catalogue session.
#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include "store/conversion.h"

#include <functional>

class TApollo;
class TDataSource;
class TTable;

namespace qv {

class CatalogueSession;

// Field name and text, written as given (the table cuts to the width).
using FieldValues = QList<QPair<QString, QString>>;

class MasterList {
  public:
    // `suspendWhileWriting`: the view's controls are suspended while a record
    // is written (the category, carrier-type and address lists).
    MasterList(TApollo& apollo, bool suspendWhileWriting);

    TApollo& apollo() const { return m_apollo; }
    TDataSource& view() const;
    TTable& table() const;

    // Whether the list has a current record: the table stands on a record of
    // its current order (order position above 0), not past the end.
    bool hasCurrent() const;

    // Seeks `text`, upper-cased with the engine's table, as the beginning of
    // a key of the current tag. On a miss the record that was current stays
    // current and the result is false.
    bool search(const QString& text);

    // Appends a record with `values` (and whatever `more` writes into it in
    // edit state), posts it and makes it the current record; returns its
    // record number.
    int append(const FieldValues& values, const std::function<void(TTable&)>& more = {});
    // Writes `values` into the current record; it stays current.
    // REQUIRES: hasCurrent().
    void change(const FieldValues& values);
    // Marks the current record deleted. Its predecessor in the order becomes
    // current, or the first record of the order when it had none.
    // REQUIRES: hasCurrent().
    void remove();

    // A field of the current record trimmed at the right; "" without one.
    QString currentText(const QString& field) const;
    // A numeric field of the current record; 0 without one.
    int currentNumber(const QString& field) const;

  private:
    void write(TTable& t, const FieldValues& values) const;

    TApollo& m_apollo;
    bool m_suspend;
};

}  // namespace qv
