// TDataSource, the view: binds the controls of a window (grids, memo and text
// fields, navigators) to one table object and passes the table's changes on
// to them.
//
// Notifications. dataChange(field) follows every move, post and cancel of
// the table and every change of a field of its current record (`field` is
// the 0-based field for a field change, else -1), whoever caused it: the
// table object, an engine access object or another view on the same table.
// Opening, closing, deleting and changes of order, range or subset give a
// dataChange(-1) as well. stateChange() follows every change of the table's
// state (browse, edit, insert, inactive). dataEvent() carries the same events
// with their kind, for grid models.
//
// Suspending. DisableControls() and EnableControls() nest: while the count
// is above zero nothing is emitted, so the bound controls do not follow the
// table. The EnableControls() that brings the count back to zero refreshes
// them once: one dataEvent(DataSetChange) and one dataChange(-1), whether or
// not the table changed meanwhile, and a stateChange() when the table's state
// differs from the one at the first suspend. Every
// DisableControls() must be matched by one EnableControls(); an
// EnableControls() without a suspend is a programming error and raises a
// State error (the count stays at zero).
//
// The count belongs to the view: a second view on the same table keeps
// following it while the first one is suspended.
#pragma once

#include <QObject>
#include <QPointer>

#include "store/ttable.h"

class TDataSource : public QObject {
    Q_OBJECT

  public:
    explicit TDataSource(QObject* parent = nullptr);
    explicit TDataSource(TTable* table, QObject* parent = nullptr);

    TTable* DataSet() const { return m_table; }
    // Binds the view to `table` (nullptr unbinds) and refreshes the controls
    // (dataEvent(DataSetChange), dataChange(-1), stateChange()) unless
    // suspended.
    void setDataSet(TTable* table);
    // The table's state, dsInactive without a table.
    TTable::State State() const;

    void DisableControls();
    void EnableControls();
    bool ControlsDisabled() const { return m_suspend > 0; }
    int suspendCount() const { return m_suspend; }

  signals:
    void dataChange(int field);
    void stateChange();
    void dataEvent(TTable::DataEvent event, int field);

  private:
    void onTableEvent(TTable::DataEvent event, int field);
    void refresh();

    QPointer<TTable> m_table;
    QMetaObject::Connection m_connection;
    QMetaObject::Connection m_destroyed;
    int m_suspend = 0;
    TTable::State m_stateAtSuspend = TTable::dsInactive;
};
