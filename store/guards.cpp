#include "store/guards.h"

#include "store/tapollo.h"
#include "store/tapolloenv.h"
#include "store/tdatasource.h"
#include "store/ttable.h"

namespace qv {

ScopedSuspend::ScopedSuspend(TDataSource& view) : m_view(&view) {
    view.DisableControls();
}

ScopedSuspend::~ScopedSuspend() {
    try {
        resume();
    } catch (...) {
    }
}

void ScopedSuspend::resume() {
    TDataSource* v = m_view;
    m_view = nullptr;
    if (v) v->EnableControls();
}

ScopedEdit::ScopedEdit(TTable& table) : m_table(table) {}

ScopedEdit::~ScopedEdit() {
    if (m_posted) return;
    try {
        const TTable::State s = m_table.state();
        if (s == TTable::dsEdit || s == TTable::dsInsert) m_table.Cancel();
    } catch (...) {
    }
}

void ScopedEdit::post() {
    m_table.Post();
    m_posted = true;
}

ScopedEngineSwitches::ScopedEngineSwitches()
    : m_softSeek(TApolloEnv::softSeek()), m_exact(TApolloEnv::exact()) {}

ScopedEngineSwitches::~ScopedEngineSwitches() {
    TApolloEnv::sx_SetSoftSeek(m_softSeek);
    TApolloEnv::sx_SetExact(m_exact);
}

void ScopedEngineSwitches::setSoftSeek(bool on) {
    TApolloEnv::sx_SetSoftSeek(on);
}

void ScopedEngineSwitches::setExact(bool on) {
    TApolloEnv::sx_SetExact(on);
}

ScopedPosition::ScopedPosition(TApollo& apollo) : m_apollo(apollo) {
    m_recno = apollo.sx_RecNo();
    m_tag = apollo.sx_IndexOrd();
}

ScopedPosition::~ScopedPosition() {
    try {
        restore();
    } catch (...) {
    }
}

void ScopedPosition::restore() {
    if (!m_active) return;
    m_active = false;
    TTable* t = m_apollo.table();
    if (!t || !t->Active()) return;
    if (m_apollo.sx_IndexOrd() != m_tag) m_apollo.sx_SetOrder(m_tag);
    m_apollo.sx_Go(m_recno);
}

}  // namespace qv
