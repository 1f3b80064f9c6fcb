// Helpers for scenario tests of the master-data list windows: answering
// their edit dialogs, reading what the list shows.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <QStringList>

#include <functional>

#include "support/qtsupport.h"
#include "ui/dbgrid.h"
#include "ui/stdeditdialog.h"
#include "ui/stdlistwindow.h"

namespace qvtest {

// When the next edit dialog appears: types `texts` into its fields (from the
// first, as the user would, replacing what was there) and presses "&OK".
// The dialog's fields as found are kept in `seen` when given.
template <class D = qv::TStdEditDialog>
void answerEdit(QStringList texts, QStringList* seen = nullptr) {
    whenModal<D>([texts, seen](D* d) {
        if (seen) {
            seen->clear();
            for (int i = 0; i < d->fieldCount(); ++i)
                seen->append(d->field(i)->text());
        }
        for (int i = 0; i < texts.size(); ++i)
            d->field(i)->setText(texts[i]);
        d->BitBtn1->click();
    });
}

// Cancels the next edit dialog.
template <class D = qv::TStdEditDialog>
void cancelEdit() {
    whenModal<D>([](D* d) { d->BitBtn2->click(); });
}

// The texts of one column of the list, top to bottom.
inline QStringList column(const qv::TStdListWindow& w, const QString& field) {
    QStringList out;
    qv::DbGridModel* m = w.DBGrid1->gridModel();
    const int c = m->columnOf(field);
    for (int r = 0; r < m->rowCount(); ++r)
        out << m->data(m->index(r, c)).toString();
    return out;
}

// The text of `field` in the list's current row ("" without one).
inline QString currentRow(const qv::TStdListWindow& w, const QString& field) {
    qv::DbGridModel* m = w.DBGrid1->gridModel();
    const int r = m->currentRow();
    if (r < 0) return {};
    return m->data(m->index(r, m->columnOf(field))).toString();
}

}  // namespace qvtest
