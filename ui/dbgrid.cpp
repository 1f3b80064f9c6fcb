#include "ui/dbgrid.h"

#include <QHeaderView>
#include <QMouseEvent>

#include "store/tdatasource.h"
#include "store/ttable.h"
#include "ui/errorhandler.h"

namespace qv {

DbGrid::DbGrid(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setShowGrid(true);
    setCornerButtonEnabled(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setMinimumSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setFixedWidth(fontMetrics().horizontalAdvance(QChar(0x25B6)) + 10);
    verticalHeader()->setHighlightSections(false);
    verticalHeader()->setSectionsClickable(false);
}

TDataSource* DbGrid::dataSource() const {
    return m_model ? m_model->dataSource() : nullptr;
}

void DbGrid::setDataSource(TDataSource* source) {
    DbGridModel* old = m_model;
    m_model = source ? new DbGridModel(source, this) : nullptr;
    setModel(m_model);
    delete old;
    if (!m_model) return;
    m_sizedColumns.clear();
    connect(m_model, &DbGridModel::currentRowChanged, this, &DbGrid::followTable);
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        applyColumnWidths();
        followTable(m_model->currentRow());
    });
    applyColumnWidths();
    followTable(m_model->currentRow());
}

void DbGrid::applyColumnWidths() {
    if (!m_model) return;
    QStringList columns;
    QList<int> widths;  // display widths in characters, 0 = not known yet
    for (int c = 0; c < m_model->columnCount(); ++c) {
        columns << m_model->fieldNameAt(c);
        widths << m_model->headerData(c, Qt::Horizontal, DbGridModel::DisplayWidthRole).toInt();
    }
    // A reset that keeps the columns (the file list's on every cursor move)
    // keeps their widths, which the user may have dragged. Only a column
    // whose display width was not known when it was sized (its table was
    // closed when the view was bound) is sized again once it is.
    const bool same = columns == m_sizedColumns;
    if (!same) {
        m_sizedColumns = columns;
        m_sizedWidths = QList<int>(widths.size(), 0);
    }
    // Digits are the widest common characters: a date or a number fits.
    const int charWidth = std::max(fontMetrics().averageCharWidth(),
                                   fontMetrics().horizontalAdvance(QLatin1Char('0')));
    for (int c = 0; c < widths.size(); ++c) {
        if (same && (m_sizedWidths[c] > 0 || widths[c] <= 0)) continue;
        m_sizedWidths[c] = widths[c];
        const QString title = m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        const int titleWidth = fontMetrics().horizontalAdvance(title) + 12;
        const int w = widths[c] > 0 ? widths[c] * charWidth + 8 : titleWidth;
        setColumnWidth(c, std::max(w, titleWidth));
    }
}

void DbGrid::followTable(int row) {
    if (m_syncing || !m_model) return;
    m_syncing = true;
    if (row < 0) {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    } else {
        const int col = std::max(0, currentIndex().column());
        const QModelIndex idx = m_model->index(row, col);
        selectionModel()->setCurrentIndex(
            idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        scrollTo(idx);
    }
    m_syncing = false;
    // The row marker moves with the current row.
    verticalHeader()->viewport()->update();
}

QModelIndex DbGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const QModelIndex target = QTableView::moveCursor(action, modifiers);
    const QModelIndex current = currentIndex();
    if ((action == MoveHome || action == MoveEnd) && (modifiers & Qt::ControlModifier) &&
        target.isValid() && current.isValid())
        return target.siblingAtColumn(current.column());
    return target;
}

void DbGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (m_syncing || !m_model || !current.isValid()) return;
    if (current.row() == m_model->currentRow()) return;
    TDataSource* src = m_model->dataSource();
    TTable* table = src ? src->DataSet() : nullptr;
    if (!table || !table->Active()) return;
    const std::uint32_t recno = m_model->recNoAt(current.row());
    if (recno == 0) return;
    m_syncing = true;
    runGuarded([&] { table->setRecNo(static_cast<int>(recno)); });
    m_syncing = false;
    // A move the table refused (or one that landed elsewhere) shows where
    // the table really stands.
    if (m_model->currentRow() != current.row()) followTable(m_model->currentRow());
    verticalHeader()->viewport()->update();
}

void DbGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit rowDoubleClicked();
}

}  // namespace qv
