#include "export/core/catalogueexport.h"

#include <QFileInfo>
#include <QSaveFile>

#include <string>

#include "catalogue/cataloguesession.h"
#include "catalogue/json_text.h"
#include "store/guards.h"
#include "store/tables/cataloguetables.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/memo_store.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

namespace {

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

QString utf8Text(std::string_view cp1252) {
    return QString::fromStdString(xb::cp1252ToUtf8(cp1252));
}

std::vector<ExportField> fieldsOf(const xb::Table& t) {
    std::vector<ExportField> out;
    for (int i = 0; i < static_cast<int>(t.fieldCount()); ++i)
        out.push_back({QString::fromStdString(t.field(i).name).toUpper(), t.field(i).type});
    return out;
}

ExportValue memoValue(xb::Table& t, int i) {
    const xb::MemoValue v = t.memoValue(i);
    using T = xb::MemoValue::Type;
    ExportValue out;
    switch (v.type) {
        case T::Text:
        case T::Binary:
            out.kind = ExportValue::Kind::Text;
            out.text = QString::fromStdString(tables::memoTextUtf8(t.field(i).name, v.bytes));
            break;
        case T::Integer:
            out.kind = ExportValue::Kind::Number;
            out.text = QString::number(v.integer);
            break;
        case T::Number:
            out.kind = ExportValue::Kind::Number;
            out.text = QString::number(v.number, 'g', 15);
            break;
        default:  // none, nil, and kinds no field of the catalogue holds
            break;
    }
    return out;
}

// The current record of `t`, field by field, as the dump reads it: texts
// trimmed on the right, numbers as their plain value, blank numbers and
// dates as null.
ExportRecord readRecord(xb::Table& t, bool withMemos) {
    ExportRecord r;
    const int n = static_cast<int>(t.fieldCount());
    r.values.resize(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        ExportValue& v = r.values[static_cast<std::size_t>(i)];
        const char type = t.field(i).type;
        switch (type) {
            case 'N':
            case 'F':
                if (!t.isBlank(i)) {
                    v.kind = ExportValue::Kind::Number;
                    v.text = QString::fromStdString(qvdb::jsonNumber(t.raw(i)));
                }
                break;
            case 'D': {
                const std::string_view raw = t.raw(i);
                const std::int32_t jdn = raw.size() == 8 ? xb::parseDbfDate(raw.data()) : 0;
                if (jdn > 0) {
                    int y = 0, m = 0, d = 0;
                    xb::jdnToDate(jdn, y, m, d);
                    v.kind = ExportValue::Kind::Date;
                    v.date = QDate(y, m, d);
                }
                break;
            }
            case 'M':
                if (withMemos && !t.isBlank(i)) v = memoValue(t, i);
                break;
            default:
                v.kind = ExportValue::Kind::Text;
                v.text = utf8Text(trimRight(t.raw(i)));
                break;
        }
    }
    return r;
}

// str(n,8): the key of an entry's files in the file table's first tag.
std::string entryKey(qint64 n) {
    std::string s = std::to_string(n);
    if (s.size() < 8) s.insert(0, 8 - s.size(), ' ');
    return s;
}

xb::Table& engineOf(TTable& t, const char* what) {
    if (!t.Active())
        throw Error(ErrorCode::State,
                    std::string("Die Tabelle der ") + what + " ist nicht geöffnet");
    t.CheckBrowseMode();
    return *t.engine();
}

// One output file written beside its final name.
class OutputFile {
  public:
    explicit OutputFile(const QString& path) : m_file(path) {
        if (!m_file.open(QIODevice::WriteOnly)) fail();
    }
    QSaveFile& device() { return m_file; }
    void commit() {
        if (!m_file.commit()) fail();
    }
    void cancel() { m_file.cancelWriting(); }

  private:
    [[noreturn]] void fail() {
        const QString reason = m_file.errorString();
        m_file.cancelWriting();
        throw xb::fileError("Die Datei",
                            QFileInfo(m_file.fileName()).absoluteFilePath().toStdString(),
                            "geschrieben werden", reason.toStdString());
    }
    QSaveFile m_file;
};

}  // namespace

QString filesCsvPath(const QString& entriesPath) {
    const QFileInfo info(entriesPath);
    const QString suffix = info.suffix();
    QString base = entriesPath;
    if (!suffix.isEmpty()) base.chop(suffix.size() + 1);
    return base + QStringLiteral("-dateien") +
           (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}

ExportResult exportCatalogue(CatalogueSession& session, const QStringList& statusNames,
                             const QString& path, const ExportOptions& options,
                             ExportMonitor* monitor) {
    TTable& entriesTable = session.table(CatalogueTable::Entries);
    TTable& filesTable = session.table(CatalogueTable::Files);
    xb::Table& entries = engineOf(entriesTable, "Einträge");
    xb::Table* files = options.withFiles ? &engineOf(filesTable, "Dateien") : nullptr;

    ScopedSuspend entryView(session.view(CatalogueTable::Entries));
    ScopedSuspend fileView(session.view(CatalogueTable::Files));
    ScopedPosition back(session.apollo(CatalogueTable::Entries));

    // The entries first, as record numbers: the walk below moves the engine
    // directly, past any subset.
    std::vector<std::uint32_t> recnos;
    if (options.entries == ExportEntries::Listed) {
        for (entriesTable.First(); !entriesTable.Eof(); entriesTable.Next())
            recnos.push_back(static_cast<std::uint32_t>(entriesTable.RecNo()));
    } else {
        const int tag = tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich"));
        entries.index().walkTagUnfiltered(tag, false, [&](std::uint32_t r) {
            recnos.push_back(r);
            return true;
        });
    }
    if (files) {
        // The first tag reaches every file of an entry; selecting it lifts the
        // range the file list may have set.
        session.apollo(CatalogueTable::Files)
            .sx_SetOrder(tagPosition(CatalogueTable::Files, QStringLiteral("dirnumm")));
    }

    ExportLayout layout;
    layout.entryFields = fieldsOf(entries);
    if (files) layout.fileFields = fieldsOf(*files);
    // A flag without a name is still named in the output.
    for (int k = 0; k < 12; ++k) {
        const QString name = statusNames.value(k).trimmed();
        layout.statusNames << (name.isEmpty() ? QStringLiteral("Status %1").arg(k + 1) : name);
    }
    layout.withFiles = files != nullptr;
    layout.entryCount = static_cast<qint64>(recnos.size());

    std::vector<int> flagFields;
    for (int k = 1; k <= 12; ++k)
        flagFields.push_back(entries.fieldIndex(
            QStringLiteral("PROG%1").arg(k, 2, 10, QLatin1Char('0')).toStdString()));
    const int numberField = entries.fieldIndex("EINDEUTIG");
    if (numberField < 0)
        throw Error(ErrorCode::NotFound, "Die Tabelle der Einträge hat kein Feld EINDEUTIG");

    OutputFile main(path);
    std::unique_ptr<OutputFile> second;
    std::unique_ptr<ExportWriter> writer;
    switch (options.format) {
        case ExportFormat::Csv:
            if (files) second = std::make_unique<OutputFile>(filesCsvPath(path));
            writer = makeCsvWriter(main.device(), second ? &second->device() : nullptr);
            break;
        case ExportFormat::JsonLines:
            writer = makeJsonLinesWriter(main.device());
            break;
        case ExportFormat::Html:
            writer = makeHtmlWriter(main.device());
            break;
    }

    ExportResult result;
    if (monitor) monitor->started(layout.entryCount);
    writer->begin(layout);
    ExportEntry entry;
    for (const std::uint32_t recno : recnos) {
        entries.go(recno);
        entry.record = readRecord(entries, true);
        entry.statusNames.clear();
        for (std::size_t k = 0; k < flagFields.size(); ++k) {
            if (flagFields[k] < 0) continue;
            const std::string_view flag = entries.raw(flagFields[k]);
            if (!flag.empty() && flag != " ") entry.statusNames << layout.statusNames.at(int(k));
        }
        entry.files.clear();
        if (files) {
            const auto number = static_cast<qint64>(entries.number(numberField));
            for (const std::uint32_t f : files->index().seekRun(entryKey(number))) {
                files->go(f);
                entry.files.push_back(readRecord(*files, true));
            }
        }
        writer->entry(entry);
        ++result.entries;
        result.files += static_cast<qint64>(entry.files.size());
        if (monitor && !monitor->advance(result.entries, result.files)) {
            result.cancelled = true;
            break;
        }
    }
    if (files) filesTable.Refresh();
    if (result.cancelled) {
        main.cancel();
        if (second) second->cancel();
        return result;
    }
    writer->end();
    // The entries' file last: a failure on the way leaves no file under the
    // chosen name.
    if (second) {
        second->commit();
        result.written << second->device().fileName();
    }
    main.commit();
    result.written.prepend(main.device().fileName());
    return result;
}

QString csvNumber(const QString& plainNumber) {
    QString s = plainNumber;
    s.replace(QLatin1Char('.'), QLatin1Char(','));
    return s;
}

QString germanDate(const QDate& date) {
    return date.isValid() ? date.toString(QStringLiteral("dd.MM.yyyy")) : QString();
}

}  // namespace qv
