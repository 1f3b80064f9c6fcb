#include "catalogue/masterlist.h"

#include <optional>

#include "store/conversion.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/error.h"

namespace qv {

MasterList::MasterList(TApollo& apollo, bool suspendWhileWriting)
    : m_apollo(apollo), m_suspend(suspendWhileWriting) {}

TDataSource& MasterList::view() const {
    TDataSource* v = m_apollo.DataSource();
    if (!v) throw Error(ErrorCode::State, "Die Liste ist an keine Tabelle gebunden");
    return *v;
}

TTable& MasterList::table() const {
    TTable* t = m_apollo.table();
    if (!t) throw Error(ErrorCode::State, "Die Liste ist an keine Tabelle gebunden");
    return *t;
}

bool MasterList::hasCurrent() const {
    TTable* t = m_apollo.table();
    if (!t || !t->Active() || t->Eof() || t->state() == TTable::dsInsert) return false;
    return m_apollo.sx_OrderRecNo() > 0;
}

bool MasterList::search(const QString& text) {
    const int before = m_apollo.sx_RecNo();
    if (m_apollo.sx_Seek(engineUpper(text))) return true;
    m_apollo.sx_Go(before);
    return false;
}

void MasterList::write(TTable& t, const FieldValues& values) const {
    for (const auto& [field, value] : values)
        t.FieldByName(field).setAsString(value);
}

int MasterList::append(const FieldValues& values, const std::function<void(TTable&)>& more) {
    TTable& t = table();
    std::optional<ScopedSuspend> suspend;
    if (m_suspend) suspend.emplace(view());
    int recno = 0;
    {
        ScopedEdit edit(t);
        t.Append();
        recno = t.RecordCount() + 1;
        write(t, values);
        if (more) more(t);
        edit.post();
    }
    if (suspend) suspend->resume();
    m_apollo.sx_Go(recno);
    return recno;
}

void MasterList::change(const FieldValues& values) {
    TTable& t = table();
    if (!hasCurrent()) throw Error(ErrorCode::State, "Kein Datensatz vorhanden");
    std::optional<ScopedSuspend> suspend;
    if (m_suspend) suspend.emplace(view());
    const int recno = m_apollo.sx_RecNo();
    {
        ScopedEdit edit(t);
        t.Edit();
        write(t, values);
        edit.post();
    }
    m_apollo.sx_Go(recno);
}

void MasterList::remove() {
    TTable& t = table();
    if (!hasCurrent()) throw Error(ErrorCode::State, "Kein Datensatz vorhanden");
    std::optional<ScopedSuspend> suspend;
    if (m_suspend) suspend.emplace(view());
    const int a = m_apollo.sx_RecNo();
    m_apollo.sx_Skip(-1);
    const bool hasPredecessor = !m_apollo.sx_Bof() && m_apollo.sx_RecNo() != a;
    const int b = hasPredecessor ? m_apollo.sx_RecNo() : 0;
    m_apollo.sx_Go(a);
    t.Delete();
    if (hasPredecessor)
        m_apollo.sx_Go(b);
    else
        m_apollo.sx_GoTop();
}

QString MasterList::currentText(const QString& field) const {
    if (!hasCurrent()) return {};
    return trimmedRight(table().FieldByName(field).AsString());
}

int MasterList::currentNumber(const QString& field) const {
    if (!hasCurrent()) return 0;
    return table().FieldByName(field).AsInteger();
}

}  // namespace qv
