#include "store/tapollo.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "store/conversion.h"
#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

using qv::Error;
using qv::ErrorCode;

TApollo::TApollo(QObject* parent) : QObject(parent) {}

TApollo::TApollo(TDataSource* source, QObject* parent) : QObject(parent), m_source(source) {}

TTable* TApollo::table() const {
    return m_source ? m_source->DataSet() : nullptr;
}

TTable& TApollo::boundTable() const {
    TTable* t = table();
    if (!t) throw Error(ErrorCode::State, "Der Engine-Zugriff ist an keine Tabelle gebunden");
    return *t;
}

xb::Table& TApollo::engine() const {
    return boundTable().activeEngine();
}

// ---- moves and positions ----------------------------------------------------------------

void TApollo::sx_GoTop() {
    boundTable().First();
}
void TApollo::sx_GoBottom() {
    boundTable().Last();
}

void TApollo::sx_Skip(int n) {
    TTable& tt = boundTable();
    tt.browseEngine().skip(n);
    tt.notify(TTable::DataEvent::Scroll);
}

void TApollo::sx_Go(int recno) {
    boundTable().setRecNo(recno);
}

int TApollo::sx_RecNo() const {
    return static_cast<int>(engine().recNo());
}
bool TApollo::sx_Eof() const {
    return engine().eof();
}
bool TApollo::sx_Bof() const {
    return engine().bof();
}
int TApollo::sx_RecCount() const {
    return static_cast<int>(engine().recCount());
}

// ---- fields and records -------------------------------------------------------------------

void TApollo::finishChange(TTable& tt, xb::Table& t, int field) {
    if (tt.state() == TTable::dsEdit || tt.state() == TTable::dsInsert) {
        tt.notify(field >= 0 ? TTable::DataEvent::FieldChange : TTable::DataEvent::RecordChange,
                  field);
        return;
    }
    try {
        t.commitRecord();
    } catch (...) {
        t.discard();  // the table object stays in browse state with a clean record
        throw;
    }
    tt.notify(TTable::DataEvent::RecordChange);
}

void TApollo::sx_Replace(const QString& field, int type, const QVariant& value) {
    TTable& tt = boundTable();
    xb::Table& t = tt.state() == TTable::dsBrowse ? tt.writableEngine() : tt.activeEngine();
    const int idx = tt.requireField(field);
    switch (type) {
        case ReplaceText:
            TTable::assignText(t, idx, value.toString());
            break;
        case ReplaceInteger:
        case ReplaceLong: {
            qint64 v = 0;
            if (value.typeId() == QMetaType::QString) {
                v = qv::strToInt64(value.toString());
            } else {
                bool ok = false;
                v = value.toLongLong(&ok);
                if (!ok) qv::throwNotAnInteger(value.toString());
            }
            TTable::assignWhole(t, idx, v);
            break;
        }
        case ReplaceDateText: {
            const QString text = value.toString();
            std::int32_t jdn = 0;
            if (!xb::parseDate(qv::toCp1252(text), jdn))
                throw Error(ErrorCode::Conversion,
                            QStringLiteral("'%1' ist kein gültiges Datum").arg(text).toStdString());
            t.replaceDate(idx, jdn);
            break;
        }
        default:
            throw Error(ErrorCode::InvalidArgument,
                        "sx_Replace kennt den Typ " + std::to_string(type) + " nicht");
    }
    finishChange(tt, t, idx);
}

QString TApollo::sx_EvalString(const QString& expression) {
    return qv::fromCp1252(engine().evalString(qv::toCp1252(expression)));
}

QByteArray TApollo::sx_GetRecord() const {
    return boundTable().CopyRecord();
}

void TApollo::sx_PutRecord(const QByteArray& record) {
    TTable& tt = boundTable();
    xb::Table& t = tt.state() == TTable::dsBrowse ? tt.writableEngine() : tt.activeEngine();
    t.putRecordBytes(std::string_view(record.constData(), static_cast<std::size_t>(record.size())));
    finishChange(tt, t, -1);
}

void TApollo::sx_Commit() {
    TTable& tt = boundTable();
    xb::Table& t = tt.browseEngine();
    t.flush();
}

// ---- index tags -----------------------------------------------------------------------------

template <typename Op>
void TApollo::reshape(Op&& op) {
    TTable& tt = boundTable();
    op(tt.browseEngine());
    tt.notify(TTable::DataEvent::DataSetChange);
}

void TApollo::sx_SetOrder(int position) {
    reshape([&](xb::Table& t) { t.index().setOrder(position); });
}

void TApollo::sx_SetOrderByName(const QString& tag) {
    xb::Table& t = engine();
    int position = 0;
    if (!tag.trimmed().isEmpty()) {
        position = t.index().tagPosition(qv::toCp1252(tag.trimmed()));
        if (position == 0)
            throw Error(ErrorCode::NotFound,
                        "Die Tabelle " + t.path() + " hat keinen Indextag " +
                            tag.trimmed().toUpper().toStdString(),
                        t.path());
    }
    sx_SetOrder(position);
}

int TApollo::sx_IndexOrd() const {
    return engine().index().order();
}
int TApollo::sx_TagCount() const {
    return engine().index().tagCount();
}

QString TApollo::sx_TagName(int position) const {
    return qv::fromCp1252(engine().index().tagName(position));
}

void TApollo::sx_IndexTag(const QString& tag, const QString& keyExpr, const QString& condition,
                          bool unique, bool descending) {
    reshape([&](xb::Table& t) {
        t.index().indexTag(qv::toCp1252(tag), qv::toCp1252(keyExpr), qv::toCp1252(condition),
                           unique, descending);
    });
}

void TApollo::sx_Reindex() {
    reshape([](xb::Table& t) { t.index().reindex(); });
}

void TApollo::sx_Pack() {
    reshape([](xb::Table& t) { t.pack(); });
}

void TApollo::sx_SetGaugeHook(xb::ProgressFn receiver) {
    xb::setGaugeHook(std::move(receiver));
}

// ---- seek and range -------------------------------------------------------------------------

std::string TApollo::keyBytes(xb::Table& t, const QString& text) const {
    switch (t.index().orderKeyType()) {
        case xb::ExprType::Numeric: {
            bool ok = false;
            QString n = text.trimmed();
            n.replace(QLatin1Char(','), QLatin1Char('.'));
            const double v = n.toDouble(&ok);
            if (!ok)
                throw Error(ErrorCode::Conversion,
                            QStringLiteral("'%1' ist kein gültiger Gleitkommawert")
                                .arg(text)
                                .toStdString());
            return xb::TableIndex::numberKey(v);
        }
        case xb::ExprType::Date: {
            std::int32_t jdn = 0;
            if (!xb::parseDate(qv::toCp1252(text), jdn))
                throw Error(ErrorCode::Conversion,
                            QStringLiteral("'%1' ist kein gültiges Datum").arg(text).toStdString());
            return xb::TableIndex::numberKey(jdn);
        }
        default:
            return qv::toCp1252(text);
    }
}

bool TApollo::sx_Seek(const QString& key) {
    TTable& tt = boundTable();
    xb::Table& t = tt.browseEngine();
    const bool found = t.index().seek(keyBytes(t, key));
    // The view never stands on the next higher key after a miss.
    if (!found) t.go(0);
    tt.notify(TTable::DataEvent::Scroll);
    return found;
}

bool TApollo::sx_Found() const {
    return engine().index().found();
}

void TApollo::sx_SetScope(const QString& low, const QString& high) {
    reshape([&](xb::Table& t) {
        std::optional<std::string> top, bottom;
        if (!low.isEmpty()) top = keyBytes(t, low);
        if (!high.isEmpty()) bottom = keyBytes(t, high);
        if (!top && !bottom)
            t.index().clearScope();
        else
            t.index().setScope(std::move(top), std::move(bottom));
    });
}

// ---- counts and positions ---------------------------------------------------------------------

qint64 TApollo::sx_Count() const {
    return static_cast<qint64>(engine().index().count());
}
qint64 TApollo::sx_OrderRecNo() const {
    return static_cast<qint64>(engine().index().orderRecNo());
}

// ---- subset and filter ------------------------------------------------------------------------

int TApollo::sx_QueryTest(const QString& expression) {
    return boundTable().browseEngine().index().queryTest(qv::toCp1252(expression));
}

void TApollo::sx_Query(const QString& expression) {
    reshape([&](xb::Table& t) { t.index().query(qv::toCp1252(expression)); });
}

bool TApollo::sx_GetQueryBit(int recno) const {
    return engine().index().queryBit(static_cast<std::uint32_t>(std::max(recno, 0)));
}

void TApollo::sx_SetQueryBit(int recno, bool on) {
    reshape([&](xb::Table& t) {
        t.index().setQueryBit(static_cast<std::uint32_t>(std::max(recno, 0)), on);
    });
}

void TApollo::sx_SetFilter(const QString& expression) {
    reshape([&](xb::Table& t) { t.index().setFilter(qv::toCp1252(expression)); });
}
