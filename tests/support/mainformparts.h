// The main window's parts as tests reach them: widgets by their object
// names, views and engine access objects through the catalogue session.
#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QTabBar>
#include <QToolButton>

#include <array>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "entries/ui/mainform.h"
#include "ui/dbgrid.h"
#include "ui/dbnavigator.h"

namespace qvtest::mf {

template <class T>
T* part(const TMainForm& f, const char* name) {
    T* w = f.findChild<T*>(QLatin1String(name));
    if (!w) ADD_FAILURE() << "the main window has no " << name;
    return w;
}

inline qv::DbGrid* DBGrid1(const TMainForm& f) {
    return part<qv::DbGrid>(f, "DBGrid1");
}
inline qv::DbGrid* DBGrid2(const TMainForm& f) {
    return part<qv::DbGrid>(f, "DBGrid2");
}
inline QTabBar* TabControl1(const TMainForm& f) {
    return part<QTabBar>(f, "TabControl1");
}
inline QTabBar* TabControl2(const TMainForm& f) {
    return part<QTabBar>(f, "TabControl2");
}
inline QPlainTextEdit* DBMemo1(const TMainForm& f) {
    return part<QPlainTextEdit>(f, "DBMemo1");
}
inline QFrame* PanelStatus(const TMainForm& f) {
    return part<QFrame>(f, "PanelStatus");
}
inline QFrame* Panelverleih(const TMainForm& f) {
    return part<QFrame>(f, "Panelverleih");
}
inline QToolButton* panelverleihbtn1(const TMainForm& f) {
    return part<QToolButton>(f, "panelverleihbtn1");
}
inline QToolButton* BitBtn1(const TMainForm& f) {
    return part<QToolButton>(f, "BitBtn1");
}
inline QLabel* labelanzahl(const TMainForm& f) {
    return part<QLabel>(f, "labelanzahl");
}
inline QLabel* labelanzahl2(const TMainForm& f) {
    return part<QLabel>(f, "labelanzahl2");
}
inline qv::DbNavigator* DBNavigator1(const TMainForm& f) {
    return part<qv::DbNavigator>(f, "DBNavigator1");
}
inline qv::DbNavigator* DBNavigator2(const TMainForm& f) {
    return part<qv::DbNavigator>(f, "DBNavigator2");
}
// The status panel's twelve labels, lbstat1 ... lbstat12.
inline std::array<QLabel*, 12> lbstat(const TMainForm& f) {
    std::array<QLabel*, 12> labels{};
    for (int i = 0; i < 12; ++i)
        labels[static_cast<std::size_t>(i)] =
            part<QLabel>(f, QStringLiteral("lbstat%1").arg(i + 1).toLatin1().constData());
    return labels;
}

inline TDataSource* DataSource1(const TMainForm& f) {
    return &f.session().view(qv::CatalogueTable::Entries);
}
inline TDataSource* DataSource2(const TMainForm& f) {
    return &f.session().view(qv::CatalogueTable::Files);
}
inline TDataSource* DataSource6(const TMainForm& f) {
    return &f.session().view(qv::CatalogueTable::Addresses);
}
inline TApollo* Apollo1(const TMainForm& f) {
    return &f.session().apollo(qv::CatalogueTable::Entries);
}
inline TApollo* Apollo2(const TMainForm& f) {
    return &f.session().apollo(qv::CatalogueTable::Files);
}
inline TApollo* Apollo6(const TMainForm& f) {
    return &f.session().apollo(qv::CatalogueTable::Addresses);
}

// The same for a pointer to the window.
#define QV_MF_PTR(name)                    \
    inline auto name(const TMainForm* f) { \
        return name(*f);                   \
    }
QV_MF_PTR(DBGrid1)
QV_MF_PTR(DBGrid2)
QV_MF_PTR(TabControl1)
QV_MF_PTR(TabControl2)
QV_MF_PTR(DBMemo1)
QV_MF_PTR(PanelStatus)
QV_MF_PTR(Panelverleih)
QV_MF_PTR(panelverleihbtn1)
QV_MF_PTR(BitBtn1)
QV_MF_PTR(labelanzahl)
QV_MF_PTR(labelanzahl2)
QV_MF_PTR(DBNavigator1)
QV_MF_PTR(DBNavigator2)
QV_MF_PTR(lbstat)
QV_MF_PTR(DataSource1)
QV_MF_PTR(DataSource2)
QV_MF_PTR(DataSource6)
QV_MF_PTR(Apollo1)
QV_MF_PTR(Apollo2)
QV_MF_PTR(Apollo6)
#undef QV_MF_PTR

}  // namespace qvtest::mf
