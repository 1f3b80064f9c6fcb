#include "store/dbgridmodel.h"

#include <algorithm>

#include "store/conversion.h"
#include "store/tables/cataloguetables.h"
#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/memo_store.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

namespace {

QString twoDigits(int v) {
    return QString::number(v).rightJustified(2, QLatin1Char('0'));
}

}  // namespace

DbGridModel::DbGridModel(TDataSource* source, QObject* parent)
    : QAbstractTableModel(parent), m_source(source) {
    if (source) connect(source, &TDataSource::dataEvent, this, &DbGridModel::onEvent);
    reset();
}

bool DbGridModel::suspended() const {
    return m_source && m_source->ControlsDisabled();
}

// ---- shape ------------------------------------------------------------------------------

int DbGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int DbGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

Qt::ItemFlags DbGridModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

QString DbGridModel::fieldNameAt(int column) const {
    return column >= 0 && column < m_columns.size() ? m_columns[column].name : QString();
}

int DbGridModel::columnOf(const QString& fieldName) const {
    for (qsizetype i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].name.compare(fieldName, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i);
    return -1;
}

QVariant DbGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical) {
        // The row marker stands on the current row.
        if (role == Qt::DisplayRole && section == m_current) return QStringLiteral("\u25B6");
        return {};
    }
    if (section < 0 || section >= m_columns.size()) return {};
    const Column& c = m_columns[section];
    switch (role) {
        case Qt::DisplayRole:
            return c.label;
        case FieldNameRole:
            return c.name;
        case DisplayWidthRole:
            return c.width;
        default:
            return {};
    }
}

// ---- resets and counts ------------------------------------------------------------------

void DbGridModel::reset() {
    QList<Column> columns;
    TTable* tt = m_source ? m_source->DataSet() : nullptr;
    xb::Table* t = tt ? tt->engine() : nullptr;
    if (tt != m_defsTable) {
        // The view was bound to another table: follow its definitions.
        disconnect(m_defsConnection);
        m_defsTable = tt;
        if (tt)
            m_defsConnection =
                connect(tt, &TTable::displayDefsChanged, this, &DbGridModel::onDisplayDefsChanged);
    }
    if (tt) {
        for (const FieldDisplayDef& d : tt->displayFields()) {
            if (!d.visible) continue;
            Column c;
            c.name = d.fieldName;
            c.label = d.label;
            c.width = d.width;
            if (t) {
                c.field = t->fieldIndex(toCp1252(d.fieldName));
                if (c.field >= 0) {
                    const xb::FieldDesc& f = t->field(c.field);
                    c.type = f.type;
                    // Without a display width a column is as wide as its field.
                    if (c.width <= 0) c.width = f.type == 'D' ? 10 : f.type == 'M' ? 6 : f.len;
                }
            }
            columns.append(c);
        }
    }
    const int rows = countRows();
    if (m_shown && rows == m_rows && columns == m_columns) {
        // The same shape (another order of the same records, a reopened
        // table): the rows are read again in place. A model reset would
        // make the grid lay out every row anew, which at millions of rows
        // costs more than everything else the change does.
        dropCache();
        const int old = m_current;
        m_current = rowOfCurrent();
        if (m_rows > 0 && !m_columns.isEmpty())
            emit dataChanged(index(0, 0),
                             index(m_rows - 1, static_cast<int>(m_columns.size()) - 1));
        if (old >= 0 && old < m_rows) emit headerDataChanged(Qt::Vertical, old, old);
        if (m_current >= 0 && m_current != old)
            emit headerDataChanged(Qt::Vertical, m_current, m_current);
        emit currentRowChanged(m_current);
        return;
    }
    beginResetModel();
    dropCache();
    m_columns = std::move(columns);
    m_rows = rows;
    m_current = rowOfCurrent();
    m_shown = true;
    endResetModel();
    emit currentRowChanged(m_current);
}

xb::Table* DbGridModel::engine() const {
    TTable* tt = m_source ? m_source->DataSet() : nullptr;
    return tt ? tt->engine() : nullptr;
}

int DbGridModel::countRows() {
    xb::Table* t = engine();
    return t ? static_cast<int>(t->index().count()) : 0;
}

void DbGridModel::recount() {
    if (countRows() != m_rows) {
        reset();
        return;
    }
    dropCache();
    if (m_rows > 0 && !m_columns.isEmpty())
        emit dataChanged(index(0, 0), index(m_rows - 1, static_cast<int>(m_columns.size()) - 1));
    updateCurrent();
}

int DbGridModel::rowOfCurrent() const {
    xb::Table* t = engine();
    if (!t || t->eof() || t->isAppending()) return -1;
    const std::uint64_t pos = t->index().orderRecNo();
    return pos >= 1 && pos <= static_cast<std::uint64_t>(m_rows) ? static_cast<int>(pos - 1) : -1;
}

std::uint32_t DbGridModel::recNoAt(int row) const {
    xb::Table* t = engine();
    if (!t || row < 0 || row >= m_rows) return 0;
    return t->index().recnoAtOrderPosition(static_cast<std::uint64_t>(row) + 1);
}

void DbGridModel::updateCurrent() {
    const int row = rowOfCurrent();
    if (row == m_current) return;
    const int old = m_current;
    m_current = row;
    if (old >= 0 && old < m_rows) emit headerDataChanged(Qt::Vertical, old, old);
    if (row >= 0) emit headerDataChanged(Qt::Vertical, row, row);
    emit currentRowChanged(row);
}

// ---- events -----------------------------------------------------------------------------

void DbGridModel::onEvent(TTable::DataEvent event, int) {
    switch (event) {
        case TTable::DataEvent::Scroll:
            updateCurrent();
            break;
        case TTable::DataEvent::RecordChange:
            recount();
            break;
        case TTable::DataEvent::DataSetChange:
            reset();
            break;
        case TTable::DataEvent::FieldChange:
        case TTable::DataEvent::StateChange:
            // The grid shows the records as posted; an edit shows after Post.
            break;
    }
}

void DbGridModel::onDisplayDefsChanged() {
    // A suspended view resets the model at its last resume anyway.
    if (!suspended()) reset();
}

// ---- values -----------------------------------------------------------------------------

void DbGridModel::dropCache() const {
    m_cache.clear();
    m_cacheOrder.clear();
}

const std::string* DbGridModel::record(int row) const {
    const int b = row / kBlockRows;
    auto it = m_cache.find(b);
    if (it == m_cache.end()) {
        xb::Table* t = engine();
        if (!t) return nullptr;
        Block block;
        const int first = b * kBlockRows;
        const int last = std::min(m_rows, first + kBlockRows);
        block.reserve(static_cast<std::size_t>(last - first));
        std::vector<std::uint32_t> recnos(static_cast<std::size_t>(std::max(0, last - first)));
        if (!recnos.empty())
            t->index().recnosAtOrderPositions(static_cast<std::uint64_t>(first) + 1, recnos.data(),
                                              recnos.size());
        // The rows' records with one read each (rows past the end stay empty).
        std::vector<std::uint32_t> present;
        present.reserve(recnos.size());
        for (const std::uint32_t recno : recnos)
            if (recno != 0) present.push_back(recno);
        const std::size_t rl = t->recordLength();
        std::string bytes(present.size() * rl, '\0');
        t->readScatteredAt(present.data(), present.size(),
                           reinterpret_cast<std::uint8_t*>(bytes.data()));
        std::size_t next = 0;
        for (const std::uint32_t recno : recnos) {
            block.push_back(recno != 0 ? bytes.substr(rl * next++, rl) : std::string());
        }
        if (m_cacheOrder.size() >= static_cast<std::size_t>(kMaxBlocks)) {
            m_cache.erase(m_cacheOrder.front());
            m_cacheOrder.pop_front();
        }
        it = m_cache.emplace(b, std::move(block)).first;
        m_cacheOrder.push_back(b);
    }
    const Block& block = it->second;
    const std::size_t i = static_cast<std::size_t>(row - b * kBlockRows);
    if (i >= block.size() || block[i].empty()) return nullptr;
    return &block[i];
}

QString DbGridModel::cellText(const Column& c, const std::string& rec) const {
    TTable* tt = m_source->DataSet();
    xb::Table* t = tt->engine();
    const xb::FieldDesc& f = t->field(c.field);
    const std::string_view raw(rec.data() + f.offset, f.len);
    switch (f.type) {
        case 'D': {
            const std::int32_t jdn = xb::parseDbfDate(raw.data());
            if (jdn <= 0) return {};
            int y, m, d;
            xb::jdnToDate(jdn, y, m, d);
            return twoDigits(d) + QLatin1Char('.') + twoDigits(m) + QLatin1Char('.') +
                   QString::number(y).rightJustified(4, QLatin1Char('0'));
        }
        case 'N':
        case 'F':
            return fromCp1252(raw).trimmed();
        case 'M': {
            const xb::MemoStore* memo = t->memoStore();
            const bool written =
                memo && memo->written(reinterpret_cast<const std::uint8_t*>(raw.data()), f.len);
            return written ? QStringLiteral("(MEMO)") : QStringLiteral("(Memo)");
        }
        default:
            return trimmedRight(fromCp1252(raw));
    }
}

QVariant DbGridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows || index.column() >= m_columns.size()) return {};
    const Column& c = m_columns[index.column()];
    switch (role) {
        case Qt::DisplayRole: {
            if (c.field < 0) return {};
            TTable* tt = m_source ? m_source->DataSet() : nullptr;
            // A suspended view may have a closed or reshaped table under it.
            if (!tt || !tt->engine() || c.field >= static_cast<int>(tt->engine()->fieldCount()))
                return {};
            const std::string* rec = record(index.row());
            return rec ? cellText(c, *rec) : QString();
        }
        case Qt::TextAlignmentRole:
            if (c.type == 'N' || c.type == 'F') return int(Qt::AlignRight | Qt::AlignVCenter);
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        case RecNoRole:
            return static_cast<uint>(recNoAt(index.row()));
        case Qt::ToolTipRole: {
            if (m_toolTipMemo.isEmpty()) return {};
            xb::Table* t = engine();
            const int memo = t ? t->fieldIndex(m_toolTipMemo.toStdString()) : -1;
            if (memo < 0) return {};
            const std::string* rec = record(index.row());
            if (!rec || rec->size() < t->recordLength()) return {};
            // A damaged memo shows no tooltip rather than an error.
            const std::string text = tables::storedMemoText(
                *t, memo, reinterpret_cast<const std::uint8_t*>(rec->data()), recNoAt(index.row()));
            if (text.empty()) return {};
            return QString::fromStdString(text);
        }
        default:
            return {};
    }
}

}  // namespace qv
