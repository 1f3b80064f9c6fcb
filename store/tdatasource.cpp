#include "store/tdatasource.h"

#include "store/xbase/error.h"

TDataSource::TDataSource(QObject* parent) : QObject(parent) {}

TDataSource::TDataSource(TTable* table, QObject* parent) : QObject(parent) {
    setDataSet(table);
}

void TDataSource::setDataSet(TTable* table) {
    if (table == m_table) return;
    disconnect(m_connection);
    disconnect(m_destroyed);
    m_table = table;
    if (table) {
        m_connection = connect(table, &TTable::dataEvent, this, &TDataSource::onTableEvent);
        // A table that goes away leaves the view unbound; the controls learn
        // of it like of a close.
        m_destroyed = connect(table, &QObject::destroyed, this, [this] {
            m_table = nullptr;
            if (m_suspend == 0) {
                refresh();
                emit stateChange();
            }
        });
    }
    if (m_suspend == 0) {
        refresh();
        emit stateChange();
    }
}

TTable::State TDataSource::State() const {
    return m_table ? m_table->state() : TTable::dsInactive;
}

void TDataSource::DisableControls() {
    if (m_suspend++ == 0) m_stateAtSuspend = State();
}

void TDataSource::EnableControls() {
    if (m_suspend == 0)
        throw qv::Error(qv::ErrorCode::State,
                        "Die Anzeige einer Tabelle wird fortgesetzt, ohne angehalten zu sein");
    if (--m_suspend > 0) return;
    refresh();
    if (State() != m_stateAtSuspend) emit stateChange();
}

void TDataSource::refresh() {
    emit dataEvent(TTable::DataEvent::DataSetChange, -1);
    emit dataChange(-1);
}

void TDataSource::onTableEvent(TTable::DataEvent event, int field) {
    if (m_suspend > 0) return;
    emit dataEvent(event, field);
    if (event == TTable::DataEvent::StateChange)
        emit stateChange();
    else
        emit dataChange(event == TTable::DataEvent::FieldChange ? field : -1);
}
