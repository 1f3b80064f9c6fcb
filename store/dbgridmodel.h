// DbGridModel, the model behind a data grid that sits on a view: one row per
// record the table's current order shows, one column per field display
// definition of the table object.
//
// Columns. From TTable::displayFields(): the visible definitions in display
// order, titled with their labels; headerData() gives the field name
// (FieldNameRole) and the display width in characters (DisplayWidthRole;
// without one in the definition, the width of the field: 10 for a date)
// beside the title. Re-ordering the definitions (TTable::setDisplayOrder, as
// the order tabs of the entry list do) resets the model.
//
// Rows. The records of the table's current order (record order or a tag),
// honouring the range, the subset, the filter and the deleted setting: the
// row count is the engine's count, row r is order position r + 1. Rows are
// read without moving the table: painting never changes the current record.
// currentRow() is the row of the current record (its order position - 1; -1
// past the end, while inserting, or when the record is not in the order), and
// currentRowChanged() follows every move. The grid shows posted records: an
// edit shows once it is posted.
//
// Values are display texts: characters converted from Windows-1252 and
// trimmed at the right, numbers as their plain text, dates "dd.mm.yyyy",
// logicals as stored, memos "(MEMO)" once written and "(Memo)" before. Numbers
// are aligned to the right (Qt::TextAlignmentRole). The model is read-only.
//
// Updates. Rows are read in blocks of kBlockRows into a cache of at most
// kMaxBlocks blocks that is dropped on every change of data. A post or a direct write of the
// current record gives dataChanged() over all rows when the row count stays, a reset otherwise;
// opening, closing, deleting and changes of order, range or subset reset the model, unless the
// columns and the row count stay: then the rows are read again in place (dataChanged() over all
// rows and currentRowChanged()), which spares the grid laying out millions of rows again. While the
// view is suspended the model stays as it is (rows beyond what the table now holds read as empty);
// the view's last resume resets it once.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "store/tdatasource.h"

namespace xb {
class Table;
}

namespace qv {

class DbGridModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Role {
        FieldNameRole = Qt::UserRole + 1,  // headerData: the field name
        DisplayWidthRole,                  // headerData: display width in characters
        RecNoRole,                         // data: the row's record number
    };

    static constexpr int kBlockRows = 64;
    static constexpr int kMaxBlocks = 16;

    explicit DbGridModel(TDataSource* source, QObject* parent = nullptr);

    TDataSource* dataSource() const { return m_source; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int currentRow() const { return m_current; }
    // The field shown in `column`, or "" outside the columns.
    QString fieldNameAt(int column) const;
    // The column of a field (any case), or -1 when it is not shown.
    int columnOf(const QString& fieldName) const;
    // The record number of `row`, 0 outside the rows.
    std::uint32_t recNoAt(int row) const;
    // Rows whose memo field `fieldName` holds a text show it (UTF-8) as
    // their tooltip; "" (the default) shows none.
    void setToolTipMemo(const QString& fieldName) { m_toolTipMemo = fieldName; }

  signals:
    void currentRowChanged(int row);

  private:
    struct Column {
        int field = -1;  // engine field index, -1 when the table lacks it
        char type = 'C';
        QString name;
        QString label;
        int width = 0;
        bool operator==(const Column&) const = default;
    };
    using Block = std::vector<std::string>;  // raw records, empty for a missing row

    void onEvent(TTable::DataEvent event, int field);
    void onDisplayDefsChanged();
    bool suspended() const;
    void reset();
    void recount();
    void updateCurrent();
    void dropCache() const;
    xb::Table* engine() const;  // the view's open table, or nullptr
    int countRows();
    int rowOfCurrent() const;
    const std::string* record(int row) const;
    QString cellText(const Column& c, const std::string& rec) const;

    QPointer<TDataSource> m_source;
    QPointer<TTable> m_defsTable;  // the table whose display definitions are followed
    QMetaObject::Connection m_defsConnection;
    QList<Column> m_columns;
    QString m_toolTipMemo;
    int m_rows = 0;
    int m_current = -1;
    bool m_shown = false;  // the first reset happened
    mutable std::unordered_map<int, Block> m_cache;
    mutable std::deque<int> m_cacheOrder;  // oldest block first
};

}  // namespace qv
