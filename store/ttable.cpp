#include "store/ttable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <exception>

#include "store/conversion.h"
#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

using qv::Error;
using qv::ErrorCode;

namespace {

std::string utf8(const QString& s) {
    return s.toStdString();
}

// A whole number of an N field: rounded, and within the range asked for.
qint64 wholeNumber(double v, qint64 min, qint64 max, const QString& text) {
    const double r = std::round(v);
    if (!(r >= static_cast<double>(min) && r <= static_cast<double>(max)))
        qv::throwNotAnInteger(text.trimmed());
    return static_cast<qint64>(r);
}

// Reads a decimal number with '.' or ',' as separator; false when the text is
// something else.
bool parseDecimal(const QString& text, double& out) {
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    out = t.toDouble(&ok);
    return ok && std::isfinite(out);
}

}  // namespace

// ---- TField -------------------------------------------------------------------------

xb::Table& TField::engine() const {
    if (!m_table) throw Error(ErrorCode::State, "Das Feld gehört zu keiner Tabelle");
    xb::Table& t = m_table->activeEngine();
    if (m_serial != m_table->m_serial)
        throw Error(ErrorCode::State,
                    "Das Feld gehört zu einer inzwischen geschlossenen Tabelle " + t.path(),
                    t.path());
    return t;
}

xb::Table& TField::editEngine() const {
    xb::Table& t = engine();
    const TTable::State s = m_table->state();
    if (s != TTable::dsEdit && s != TTable::dsInsert)
        throw Error(ErrorCode::State,
                    "Die Tabelle " + t.path() + " ist nicht im Bearbeitungs- oder Einfügemodus",
                    t.path());
    return t;
}

void TField::changed() const {
    m_table->notify(TTable::DataEvent::FieldChange, m_index);
}

QString TField::FieldName() const {
    return QString::fromStdString(engine().field(m_index).name);
}
char TField::DataType() const {
    return engine().field(m_index).type;
}
int TField::Size() const {
    return engine().field(m_index).len;
}
int TField::Decimals() const {
    return engine().field(m_index).dec;
}
int TField::FieldNo() const {
    engine();
    return m_index + 1;
}

QString TField::AsString() const {
    xb::Table& t = engine();
    switch (t.field(m_index).type) {
        case 'D':
            return QString::fromStdString(xb::formatDate(t.date(m_index)));
        case 'M':
            return qv::fromCp1252(t.getMemo(m_index));
        default:
            return qv::fromCp1252(t.raw(m_index));
    }
}

void TField::setAsString(const QString& text) {
    TTable::assignText(editEngine(), m_index, text);
    changed();
}

qint64 TField::AsLargeInt() const {
    xb::Table& t = engine();
    const xb::FieldDesc& f = t.field(m_index);
    if (f.type == 'N' || f.type == 'F') {
        if (t.isBlank(m_index)) return 0;
        return wholeNumber(t.number(m_index), INT64_MIN / 2, INT64_MAX / 2,
                           qv::fromCp1252(t.raw(m_index)));
    }
    if (f.type == 'C') return qv::strToInt64(qv::fromCp1252(t.raw(m_index)));
    throw Error(ErrorCode::InvalidArgument,
                "Das Feld " + f.name + " der Tabelle " + t.path() +
                    " kann nicht als ganze Zahl gelesen werden",
                t.path());
}

int TField::AsInteger() const {
    const qint64 v = AsLargeInt();
    if (v < INT32_MIN || v > INT32_MAX) qv::throwNotAnInteger(QString::number(v));
    return static_cast<int>(v);
}

void TField::setAsLargeInt(qint64 value) {
    TTable::assignWhole(editEngine(), m_index, value);
    changed();
}

void TField::setAsInteger(int value) {
    setAsLargeInt(value);
}

double TField::AsFloat() const {
    xb::Table& t = engine();
    const xb::FieldDesc& f = t.field(m_index);
    if (f.type == 'C') {
        double v = 0;
        const QString text = qv::fromCp1252(t.raw(m_index));
        if (!parseDecimal(text, v))
            throw Error(
                ErrorCode::Conversion,
                utf8(QStringLiteral("'%1' ist kein gültiger Gleitkommawert").arg(text.trimmed())));
        return v;
    }
    return t.number(m_index);
}

QDate TField::AsDate() const {
    const std::int32_t jdn = engine().date(m_index);
    if (jdn <= 0) return {};
    int y, m, d;
    xb::jdnToDate(jdn, y, m, d);
    return QDate(y, m, d);
}

void TField::setAsDate(const QDate& date) {
    xb::Table& t = editEngine();
    std::int32_t jdn = 0;
    if (date.isValid()) {
        jdn = xb::dateToJdn(date.year(), date.month(), date.day());
        if (jdn == 0)
            throw Error(ErrorCode::Conversion,
                        utf8(QStringLiteral("'%1' ist kein gültiges Datum")
                                 .arg(date.toString(QStringLiteral("dd.MM.yyyy")))));
    }
    t.replaceDate(m_index, jdn);
    changed();
}

bool TField::IsNull() const {
    return engine().isBlank(m_index);
}

void TField::Clear() {
    editEngine().replaceBlank(m_index);
    changed();
}

QString TField::DisplayLabel() const {
    engine();
    return m_table->displayLabelOf(m_index);
}

int TField::DisplayWidth() const {
    engine();
    return m_table->displayWidthOf(m_index);
}

bool TField::Visible() const {
    engine();
    return m_table->visibleOf(m_index);
}

// ---- field values ----------------------------------------------------------------

void TTable::assignText(xb::Table& t, int field, const QString& text) {
    const xb::FieldDesc& f = t.field(field);
    switch (f.type) {
        case 'C':
            t.replaceText(field, qv::toCp1252(text));
            break;
        case 'M':
            t.replaceMemo(field, qv::toCp1252(text));
            break;
        case 'N':
        case 'F':
            if (text.trimmed().isEmpty()) {
                t.replaceBlank(field);
            } else if (f.dec == 0) {
                t.replaceNumber(field, static_cast<double>(qv::strToInt64(text)));
            } else {
                double v = 0;
                if (!parseDecimal(text, v))
                    throw Error(
                        ErrorCode::Conversion,
                        utf8(QStringLiteral("'%1' ist kein gültiger Gleitkommawert").arg(text)));
                t.replaceNumber(field, v);
            }
            break;
        case 'D': {
            std::int32_t jdn = 0;
            if (!xb::parseDate(qv::toCp1252(text), jdn))
                throw Error(ErrorCode::Conversion,
                            utf8(QStringLiteral("'%1' ist kein gültiges Datum").arg(text)));
            t.replaceDate(field, jdn);
            break;
        }
        case 'L': {
            const QString v = text.trimmed().toUpper();
            if (v.isEmpty())
                t.replaceBlank(field);
            else if (v == QLatin1String("T") || v == QLatin1String("Y") || v == QLatin1String("J"))
                t.replaceLogical(field, true);
            else if (v == QLatin1String("F") || v == QLatin1String("N"))
                t.replaceLogical(field, false);
            else
                throw Error(
                    ErrorCode::Conversion,
                    utf8(QStringLiteral("'%1' ist kein gültiger Boolescher Wert").arg(text)));
            break;
        }
        default:
            // The engine refuses the field type with its own message.
            t.replaceText(field, qv::toCp1252(text));
    }
}

void TTable::assignWhole(xb::Table& t, int field, qint64 value) {
    if (t.field(field).type == 'C')
        t.replaceText(field, std::to_string(value));
    else
        t.replaceNumber(field, static_cast<double>(value));  // the engine checks the type
}

// ---- TTable: properties -------------------------------------------------------------

const QString TTable::kTableType = QStringLiteral("ttSXNSX");

TTable::TTable(QObject* parent) : QObject(parent), m_tableType(kTableType) {}

TTable::~TTable() {
    if (m_engine) {
        try {
            if (m_engine->isHot()) m_engine->discard();
            m_engine->close();
        } catch (...) {
            // The files are released all the same; nobody is left to tell.
        }
    }
}

void TTable::requireClosed(const char* what) const {
    if (m_engine)
        throw Error(ErrorCode::State,
                    std::string(what) + " kann bei geöffneter Tabelle " + m_engine->path() +
                        " nicht geändert werden",
                    m_engine->path());
}

void TTable::setDatabaseName(const QString& dir) {
    requireClosed("Das Verzeichnis");
    m_databaseName = dir;
}

void TTable::setTableName(const QString& name) {
    requireClosed("Der Tabellenname");
    m_tableName = name;
}

void TTable::setTableType(const QString& type) {
    requireClosed("Der Tabellentyp");
    m_tableType = type;
}

void TTable::setExclusive(bool on) {
    requireClosed("Der exklusive Zugriff");
    m_exclusive = on;
}

void TTable::setReadOnly(bool on) {
    requireClosed("Der Nur-Lese-Zugriff");
    m_readOnly = on;
}

void TTable::setIndexName(const QString& tag) {
    if (m_engine) {
        xb::Table& t = browseEngine();
        t.index().setOrder(tagPositionOf(t, tag));
        m_indexName = tag;
        notify(DataEvent::DataSetChange);
        return;
    }
    m_indexName = tag;
}

int TTable::tagPositionOf(const xb::Table& t, const QString& tag) {
    if (tag.trimmed().isEmpty()) return 0;
    const int position = t.index().tagPosition(qv::toCp1252(tag.trimmed()));
    if (position == 0)
        throw Error(
            ErrorCode::NotFound,
            "Die Tabelle " + t.path() + " hat keinen Indextag " + utf8(tag.trimmed().toUpper()),
            t.path());
    return position;
}

QString TTable::filePath() const {
    QString name = m_tableName;
    if (QFileInfo(name).suffix().isEmpty()) name += QStringLiteral(".dbf");
    if (m_databaseName.isEmpty() || QDir::isAbsolutePath(name)) return name;
    return QDir(m_databaseName).filePath(name);
}

// ---- opening --------------------------------------------------------------------------

void TTable::Open() {
    if (m_engine) return;
    if (m_tableType.compare(kTableType, Qt::CaseInsensitive) != 0)
        throw Error(
            ErrorCode::InvalidArgument,
            utf8(QStringLiteral("Der Tabellentyp %1 wird nicht unterstützt").arg(m_tableType)));
    if (m_tableName.trimmed().isEmpty())
        throw Error(ErrorCode::InvalidArgument, "Der Tabelle fehlt der Tabellenname");
    // Every writable open is exclusive: the engine has no shared writers.
    const xb::OpenMode mode = m_readOnly ? xb::OpenMode::ReadOnly : xb::OpenMode::Exclusive;
    auto engine = xb::Table::open(QFile::encodeName(filePath()).toStdString(), mode);
    if (!m_indexName.trimmed().isEmpty()) {
        engine->index().setOrder(tagPositionOf(*engine, m_indexName));
        engine->goTop();
    }
    m_engine = std::move(engine);
    ++m_serial;
    setState(dsBrowse);
    notify(DataEvent::DataSetChange);
}

void TTable::Close() {
    if (!m_engine) return;
    std::unique_ptr<xb::Table> t = std::move(m_engine);
    std::exception_ptr failure;
    try {
        if (t->isHot()) t->discard();
        t->close();
    } catch (...) {
        failure = std::current_exception();
    }
    t.reset();
    setState(dsInactive);
    notify(DataEvent::DataSetChange);
    if (failure) std::rethrow_exception(failure);
}

xb::Table& TTable::activeEngine() const {
    if (!m_engine) {
        const std::string path = QFile::encodeName(filePath()).toStdString();
        throw Error(ErrorCode::State,
                    "Operation bei geschlossener Tabelle " + path + " nicht möglich", path);
    }
    return *m_engine;
}

xb::Table& TTable::browseEngine() {
    xb::Table& t = activeEngine();
    CheckBrowseMode();
    return t;
}

xb::Table& TTable::writableEngine() const {
    xb::Table& t = activeEngine();
    if (t.readOnly())
        throw Error(
            ErrorCode::State,
            "Die Tabelle " + t.path() + " ist schreibgeschützt und kann nicht geändert werden",
            t.path());
    return t;
}

void TTable::setState(State s) {
    if (m_state == s) return;
    m_state = s;
    notify(DataEvent::StateChange);
}

void TTable::notify(DataEvent event, int field) {
    emit dataEvent(event, field);
}

// ---- navigation ---------------------------------------------------------------------

void TTable::First() {
    browseEngine().goTop();
    notify(DataEvent::Scroll);
}

void TTable::Last() {
    browseEngine().goBottom();
    notify(DataEvent::Scroll);
}

void TTable::Next() {
    browseEngine().skip(1);
    notify(DataEvent::Scroll);
}

void TTable::Prior() {
    browseEngine().skip(-1);
    notify(DataEvent::Scroll);
}

int TTable::MoveBy(int n) {
    xb::Table& t = browseEngine();
    int moved = 0;
    while (moved < n) {
        t.skip(1);
        if (t.eof()) break;
        ++moved;
    }
    // Backwards from past the end the first step lands on the last record;
    // a step off the start leaves the table on the first one with Bof().
    while (moved > n) {
        t.skip(-1);
        if (t.bof()) break;
        --moved;
    }
    notify(DataEvent::Scroll);
    return moved;
}

int TTable::RecNo() const {
    return m_engine ? static_cast<int>(m_engine->recNo()) : 0;
}

void TTable::setRecNo(int recno) {
    browseEngine().go(recno < 0 ? 0u : static_cast<std::uint32_t>(recno));
    notify(DataEvent::Scroll);
}

bool TTable::Eof() const {
    return m_engine ? m_engine->eof() : true;
}
bool TTable::Bof() const {
    return m_engine ? m_engine->bof() : true;
}
int TTable::RecordCount() const {
    return m_engine ? static_cast<int>(m_engine->recCount()) : 0;
}

void TTable::Refresh() {
    browseEngine().skip(0);
    notify(DataEvent::DataSetChange);
}

// ---- fields ---------------------------------------------------------------------------

int TTable::FieldCount() const {
    return m_engine ? static_cast<int>(m_engine->fieldCount()) : 0;
}

TField TTable::Fields(int index) const {
    activeEngine().field(index);  // Range error for a bad index
    return TField(const_cast<TTable*>(this), index, m_serial);
}

int TTable::fieldIndexOf(const QString& name) const {
    return activeEngine().fieldIndex(qv::toCp1252(name.trimmed()));
}

int TTable::requireField(const QString& name) const {
    const int idx = fieldIndexOf(name);
    if (idx < 0) {
        const std::string path = m_engine->path();
        throw xb::fieldNotFound(path, utf8(name.trimmed().toUpper()));
    }
    return idx;
}

TField TTable::FieldByName(const QString& name) const {
    return TField(const_cast<TTable*>(this), requireField(name), m_serial);
}

bool TTable::hasField(const QString& name) const {
    return m_engine && fieldIndexOf(name) >= 0;
}

// ---- states ---------------------------------------------------------------------------

void TTable::CheckBrowseMode() {
    if (m_state == dsEdit || m_state == dsInsert) Post();
}

void TTable::Append() {
    xb::Table& t = writableEngine();
    CheckBrowseMode();
    t.append();
    setState(dsInsert);
    notify(DataEvent::RecordChange);
}

void TTable::Insert() {
    // xBase tables have no insert between records: the new record goes to
    // the physical end.
    Append();
}

void TTable::Edit() {
    xb::Table& t = writableEngine();
    if (m_state == dsEdit || m_state == dsInsert) return;
    if (t.eof()) {
        Append();
        return;
    }
    setState(dsEdit);
}

void TTable::Post() {
    xb::Table& t = activeEngine();
    if (m_state != dsEdit && m_state != dsInsert) return;
    t.commitRecord();
    setState(dsBrowse);
    notify(DataEvent::RecordChange);
}

void TTable::Cancel() {
    xb::Table& t = activeEngine();
    if (m_state != dsEdit && m_state != dsInsert) return;
    t.discard();
    setState(dsBrowse);
    notify(DataEvent::RecordChange);
}

void TTable::Delete() {
    xb::Table& t = writableEngine();
    if (m_state == dsInsert) {
        Cancel();
        return;
    }
    if (t.eof())
        throw Error(
            ErrorCode::State,
            "Die Tabelle " + t.path() + " steht auf keinem Datensatz, der gelöscht werden kann",
            t.path());
    if (m_state == dsEdit) t.discard();
    t.deleteRecord();
    t.commitRecord();
    setState(dsBrowse);
    if (xb::settings().deleted) {
        t.skip(1);
        if (t.eof()) t.goBottom();
    }
    notify(DataEvent::DataSetChange);
}

// ---- whole records ------------------------------------------------------------------

QByteArray TTable::CopyRecord() const {
    const std::string bytes = activeEngine().recordBytes();
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void TTable::PasteRecord(const QByteArray& record) {
    xb::Table& t = activeEngine();
    if (m_state != dsEdit && m_state != dsInsert)
        throw Error(ErrorCode::State,
                    "Die Tabelle " + t.path() + " ist nicht im Bearbeitungs- oder Einfügemodus",
                    t.path());
    t.putRecordBytes(std::string_view(record.constData(), static_cast<std::size_t>(record.size())));
    notify(DataEvent::RecordChange);
}

// ---- field display definitions --------------------------------------------------------

void TTable::setFieldDisplayDefs(const QList<FieldDisplayDef>& defs) {
    if (defs == m_displayDefs) return;
    m_displayDefs = defs;
    emit displayDefsChanged();
}

const FieldDisplayDef* TTable::displayDefOf(int field) const {
    if (!m_engine) return nullptr;
    const QString name = QString::fromStdString(m_engine->field(field).name);
    for (const FieldDisplayDef& d : m_displayDefs)
        if (d.fieldName.compare(name, Qt::CaseInsensitive) == 0) return &d;
    return nullptr;
}

QString TTable::displayLabelOf(int field) const {
    const FieldDisplayDef* d = displayDefOf(field);
    if (d && !d->label.isEmpty()) return d->label;
    return QString::fromStdString(m_engine->field(field).name);
}

int TTable::displayWidthOf(int field) const {
    const FieldDisplayDef* d = displayDefOf(field);
    if (d && d->width > 0) return d->width;
    const xb::FieldDesc& f = m_engine->field(field);
    return f.type == 'D' ? 10 : f.len;  // a date shows as dd.mm.yyyy
}

bool TTable::visibleOf(int field) const {
    if (m_displayDefs.isEmpty()) return true;
    const FieldDisplayDef* d = displayDefOf(field);
    return d && d->visible;
}

QList<FieldDisplayDef> TTable::displayFields() const {
    QList<FieldDisplayDef> out;
    if (m_displayDefs.isEmpty()) {
        if (!m_engine) return out;
        for (int i = 0; i < FieldCount(); ++i) {
            FieldDisplayDef d;
            d.fieldName = QString::fromStdString(m_engine->field(i).name);
            d.label = d.fieldName;
            d.width = displayWidthOf(i);
            out.append(d);
        }
        return out;
    }
    for (FieldDisplayDef d : m_displayDefs) {
        const int idx = m_engine ? m_engine->fieldIndex(qv::toCp1252(d.fieldName)) : -1;
        if (idx >= 0) {
            d.fieldName = QString::fromStdString(m_engine->field(idx).name);
            if (d.width <= 0) d.width = displayWidthOf(idx);
        }
        if (d.label.isEmpty()) d.label = d.fieldName.toUpper();
        out.append(d);
    }
    return out;
}

void TTable::setDisplayOrder(const QStringList& fieldNames) {
    QList<FieldDisplayDef> rest = m_displayDefs.isEmpty() ? displayFields() : m_displayDefs;
    QList<FieldDisplayDef> ordered;
    for (const QString& name : fieldNames) {
        for (qsizetype i = 0; i < rest.size(); ++i) {
            if (rest[i].fieldName.compare(name, Qt::CaseInsensitive) == 0) {
                ordered.append(rest.takeAt(i));
                break;
            }
        }
    }
    ordered.append(rest);
    setFieldDisplayDefs(ordered);
}
