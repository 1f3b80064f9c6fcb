// DbGrid, a read-only data grid on a view: a table view over a DbGridModel
// that follows the table and moves it.
//
// Two-way sync. A click or a key that changes the grid's current row moves
// the table to that row's record; every move of the table (whoever made it)
// selects and scrolls to its row. Rows are order positions: the grid never
// loads the table, and painting never moves it.
//
// Look. Whole-row selection, one fixed row height, a title row, a row marker
// ("▶" on the current row) in the row header, grid lines, column widths from
// the display widths in characters; no editing, no sorting by the header and
// no type-to-search (it would walk every row per key stroke).
#pragma once

#include <QStringList>
#include <QTableView>

#include "store/dbgridmodel.h"

class TDataSource;

namespace qv {

class DbGrid : public QTableView {
    Q_OBJECT

  public:
    explicit DbGrid(QWidget* parent = nullptr);

    // Binds the grid to a view (nullptr unbinds).
    void setDataSource(TDataSource* source);
    // Rows show the text of this memo field as their tooltip, whatever
    // view the grid is given (DbGridModel::setToolTipMemo).
    void setToolTipMemo(const QString& fieldName);
    TDataSource* dataSource() const;
    DbGridModel* gridModel() const { return m_model; }

    void keyboardSearch(const QString&) override {}

  signals:
    // A double-click on a row (after the table moved to it).
    void rowDoubleClicked();

  protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // Ctrl+Home and Ctrl+End go to the first and the last row and keep the
    // column, as in a data grid; Qt's view would also go to the first or the
    // last column, which Home and End alone still do.
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    void followTable(int row);
    void applyColumnWidths();

    DbGridModel* m_model = nullptr;
    QString m_toolTipMemo;
    QStringList m_sizedColumns;  // the columns the widths were set for
    QList<int> m_sizedWidths;    // the display widths they were set from (0 = unknown)
    bool m_syncing = false;
};

}  // namespace qv
