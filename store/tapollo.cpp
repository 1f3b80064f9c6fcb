#include "store/tapollo.h"

#include "store/conversion.h"
#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/expr.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"

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
    xb::Table& t = engine();
    const std::string text = qv::toCp1252(expression);
    xb::Expr e = xb::Expr::compile(text, t.fields());
    if (e.type() == xb::ExprType::Numeric) {
        // A number reads as str() of it, in str()'s own default width.
        e = xb::Expr::compile("str(" + text + ")", t.fields());
    }
    const xb::Value& v = e.evaluate(t.recordRef());
    switch (v.type) {
        case xb::ExprType::Character:
            return qv::fromCp1252(v.chars);
        case xb::ExprType::Date:
            return QString::fromStdString(xb::formatDate(v.julianDay()));
        case xb::ExprType::Logical:
            return v.logical ? QStringLiteral(".T.") : QStringLiteral(".F.");
        case xb::ExprType::Numeric:
            break;
    }
    return {};
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
