// The three output formats of the export.
#include <QIODevice>

#include <optional>
#include <string>

#include "catalogue/json_text.h"
#include "export/core/catalogueexport.h"

namespace qv {

namespace {

// Collects output and hands it to the device in large pieces. A failed write
// is noticed when the file is committed.
class Out {
  public:
    explicit Out(QIODevice& device) : m_device(device) { m_buffer.reserve(kChunk + 4096); }
    ~Out() { flush(); }
    Out& operator<<(const QString& s) {
        m_buffer += s.toUtf8();
        return maybeFlush();
    }
    Out& operator<<(const char* s) {
        m_buffer += s;
        return maybeFlush();
    }
    Out& operator<<(const std::string& s) {
        m_buffer.append(s.data(), static_cast<qsizetype>(s.size()));
        return maybeFlush();
    }
    void flush() {
        if (m_buffer.isEmpty()) return;
        m_device.write(m_buffer);
        m_buffer.clear();
    }

  private:
    static constexpr qsizetype kChunk = 1 << 16;
    Out& maybeFlush() {
        if (m_buffer.size() >= kChunk) flush();
        return *this;
    }
    QIODevice& m_device;
    QByteArray m_buffer;
};

int indexOfField(const std::vector<ExportField>& fields, const char* name) {
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == QLatin1String(name)) return static_cast<int>(i);
    return -1;
}

const ExportValue& valueAt(const ExportRecord& r, int i) {
    static const ExportValue none;
    return i >= 0 && static_cast<std::size_t>(i) < r.values.size()
               ? r.values[static_cast<std::size_t>(i)]
               : none;
}

// ---- CSV ---------------------------------------------------------------------------------

QString csvCell(const QString& text) {
    static const QString special = QStringLiteral(";\"\r\n");
    bool quote = false;
    for (const QChar c : text)
        if (special.contains(c)) {
            quote = true;
            break;
        }
    if (!quote) return text;
    QString q = text;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString csvValue(const ExportValue& v) {
    switch (v.kind) {
        case ExportValue::Kind::Text:
            return csvCell(v.text);
        case ExportValue::Kind::Number:
            return csvNumber(v.text);
        case ExportValue::Kind::Date:
            return germanDate(v.date);
        case ExportValue::Kind::Null:
            break;
    }
    return QString();
}

// UTF-8 with a byte order mark, ';' between cells, CRLF after each row.
class CsvWriter : public ExportWriter {
  public:
    CsvWriter(QIODevice& entries, QIODevice* files) : m_entries(entries) {
        if (files) m_files.emplace(*files);
    }
    void begin(const ExportLayout& layout) override {
        m_entries << "\xEF\xBB\xBF";
        QStringList head;
        for (const ExportField& f : layout.entryFields)
            head << csvCell(f.name);
        head << QStringLiteral("STATUS");
        m_entries << head.join(QLatin1Char(';')) << "\r\n";
        if (m_files) {
            *m_files << "\xEF\xBB\xBF";
            head.clear();
            for (const ExportField& f : layout.fileFields)
                head << csvCell(f.name);
            *m_files << head.join(QLatin1Char(';')) << "\r\n";
        }
    }
    void entry(const ExportEntry& e) override {
        row(m_entries, e.record, csvCell(e.statusNames.join(QStringLiteral(", "))), true);
        if (m_files)
            for (const ExportRecord& f : e.files)
                row(*m_files, f, QString(), false);
    }
    void end() override {
        m_entries.flush();
        if (m_files) m_files->flush();
    }

  private:
    static void row(Out& out, const ExportRecord& r, const QString& extra, bool withExtra) {
        QString line;
        for (std::size_t i = 0; i < r.values.size(); ++i) {
            if (i) line += QLatin1Char(';');
            line += csvValue(r.values[i]);
        }
        if (withExtra) line += QLatin1Char(';') + extra;
        out << line << "\r\n";
    }
    Out m_entries;
    std::optional<Out> m_files;
};

// ---- JSON Lines --------------------------------------------------------------------------

void appendJsonValue(std::string& out, const ExportValue& v) {
    switch (v.kind) {
        case ExportValue::Kind::Text:
            qvdb::appendJsonString(out, v.text.toStdString());
            return;
        case ExportValue::Kind::Number:
            out += v.text.toStdString();
            return;
        case ExportValue::Kind::Date:
            qvdb::appendJsonString(out, v.date.toString(Qt::ISODate).toStdString());
            return;
        case ExportValue::Kind::Null:
            break;
    }
    out += "null";
}

void appendJsonRecord(std::string& out, const std::vector<ExportField>& fields,
                      const ExportRecord& r) {
    for (std::size_t i = 0; i < fields.size() && i < r.values.size(); ++i) {
        if (i) out += ',';
        qvdb::appendJsonString(out, fields[i].name.toStdString());
        out += ':';
        appendJsonValue(out, r.values[i]);
    }
}

// One object per entry: its fields by name, "STATUS" (the names of its set
// flags) and, with files, "DATEIEN" (one object per file).
class JsonLinesWriter : public ExportWriter {
  public:
    explicit JsonLinesWriter(QIODevice& out) : m_out(out) {}
    void begin(const ExportLayout& layout) override { m_layout = layout; }
    void entry(const ExportEntry& e) override {
        m_line.clear();
        m_line += '{';
        appendJsonRecord(m_line, m_layout.entryFields, e.record);
        m_line += ",\"STATUS\":[";
        for (qsizetype i = 0; i < e.statusNames.size(); ++i) {
            if (i) m_line += ',';
            qvdb::appendJsonString(m_line, e.statusNames.at(i).toStdString());
        }
        m_line += ']';
        if (m_layout.withFiles) {
            m_line += ",\"DATEIEN\":[";
            for (std::size_t i = 0; i < e.files.size(); ++i) {
                if (i) m_line += ',';
                m_line += '{';
                appendJsonRecord(m_line, m_layout.fileFields, e.files[i]);
                m_line += '}';
            }
            m_line += ']';
        }
        m_line += "}\n";
        m_out << m_line;
    }
    void end() override { m_out.flush(); }

  private:
    Out m_out;
    ExportLayout m_layout;
    std::string m_line;
};

// ---- HTML --------------------------------------------------------------------------------

QString html(const QString& text) {
    return text.toHtmlEscaped();
}

QString htmlValue(const ExportValue& v) {
    switch (v.kind) {
        case ExportValue::Kind::Text:
            return html(v.text);
        case ExportValue::Kind::Number:
            return csvNumber(v.text);
        case ExportValue::Kind::Date:
            return germanDate(v.date);
        case ExportValue::Kind::Null:
            break;
    }
    return QString();
}

const char* const kHtmlStyle = R"(
body{font-family:sans-serif;font-size:14px;margin:1em;color:#111}
h1{font-size:1.4em}
#filterbar{position:sticky;top:0;background:#fff;padding:.5em 0}
#filter{width:24em;font-size:1em}
table{border-collapse:collapse}
#entries th,#entries td{border-bottom:1px solid #ccc;padding:.2em .5em;text-align:left;vertical-align:top}
#entries th{background:#e8e8e8;position:sticky;top:2.6em}
#entries td.n{text-align:right}
td.t{min-width:14em}
td.s{min-width:12em;font-size:.9em}
td.memo{white-space:pre-wrap;max-width:30em}
tr.files td{border-bottom:2px solid #aaa}
table.filelist{table-layout:fixed;width:100%;max-width:80em}
table.filelist td,table.filelist th{border:none;padding:.1em .6em;font-size:.9em;position:static;background:none;overflow:hidden;white-space:nowrap;text-overflow:ellipsis}
div.block{content-visibility:auto}
summary{cursor:pointer;color:#035}
)";

// The file lists' column widths, the same in every block.
const char* const kFileColumns =
    "<colgroup><col style=\"width:15em\"><col style=\"width:9em\"><col style=\"width:7em\">"
    "<col style=\"width:4em\"><col></colgroup>";
constexpr std::size_t kBlockRows = 500;

const char* const kHtmlScript = R"(
(function(){
  var input=document.getElementById('filter'),count=document.getElementById('count');
  var groups=Array.prototype.slice.call(document.querySelectorAll('#entries > tbody'));
  var hay=groups.map(function(g){return g.rows[0].textContent.toLowerCase();});
  var timer=0;
  function apply(){
    var q=input.value.trim().toLowerCase(),n=0;
    for(var i=0;i<groups.length;i++){
      var show=!q||hay[i].indexOf(q)>=0;
      if(groups[i].hidden===show)groups[i].hidden=!show;
      if(show)n++;
    }
    count.textContent=q?(n+' von '+groups.length+' Einträgen'):(groups.length+' Einträge');
  }
  input.addEventListener('input',function(){clearTimeout(timer);timer=setTimeout(apply,60);});
  apply();
})();
)";

// One page: a filter box over the entries table, each entry a <tbody> of its
// own with, when files are exported, a collapsible list of its files.
class HtmlWriter : public ExportWriter {
  public:
    explicit HtmlWriter(QIODevice& out) : m_out(out) {}
    void begin(const ExportLayout& layout) override {
        m_layout = layout;
        const auto& ef = layout.entryFields;
        m_columns = {
            {indexOfField(ef, "EINDEUTIG"), "Nr.", true},
            {indexOfField(ef, "BEZEICH"), "Bezeichnung", false, "t"},
            {indexOfField(ef, "PROGDSKS"), "Anzahl", true},
            {indexOfField(ef, "BOXNUMMER"), "Box", true},
            {indexOfField(ef, "DISKNUMMER"), "Nummer", true},
            {indexOfField(ef, "DISKART"), "Datenträger", false},
            {indexOfField(ef, "KATEGORIE"), "Kategorie", false},
        };
        m_memo = indexOfField(ef, "MEMO");
        const auto& ff = layout.fileFields;
        m_fileColumns = {
            {indexOfField(ff, "DIRNAME"), "Datei", false},
            {indexOfField(ff, "DIRSIZE"), "Größe", true},
            {indexOfField(ff, "DIRDATE"), "Datum", false},
            {indexOfField(ff, "DIRTIME"), "Zeit", false},
            {indexOfField(ff, "DIRPFAD"), "Verzeichnis+Datei", false},
        };
        m_out << "<!DOCTYPE html>\n<html lang=\"de\">\n<head>\n<meta charset=\"utf-8\">\n"
                 "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                 "<title>QV-Tessarin – Katalog</title>\n<style>"
              << kHtmlStyle << "</style>\n</head>\n<body>\n<h1>Katalog</h1>\n"
              << "<div id=\"filterbar\"><label for=\"filter\">Filter:</label> "
                 "<input id=\"filter\" type=\"search\" autocomplete=\"off\"> <span id=\"count\">"
              << QString::number(layout.entryCount) << " Einträge</span></div>\n"
              << "<table id=\"entries\">\n<thead><tr>";
        for (const Column& c : m_columns)
            m_out << "<th>" << c.title << "</th>";
        m_out << "<th>Status</th><th>Zusatztext</th>";
        if (layout.withFiles) m_out << "<th>Dateien</th>";
        m_out << "</tr></thead>\n";
        m_span = static_cast<int>(m_columns.size()) + 2 + (layout.withFiles ? 1 : 0);
    }
    void entry(const ExportEntry& e) override {
        QString s = QStringLiteral("<tbody><tr>");
        for (const Column& c : m_columns)
            cell(s, valueAt(e.record, c.field), c.numeric, c.cls);
        s += QStringLiteral("<td class=\"s\">") + html(e.statusNames.join(QStringLiteral(", "))) +
             QStringLiteral("</td><td class=\"memo\">") + htmlValue(valueAt(e.record, m_memo)) +
             QStringLiteral("</td>");
        if (m_layout.withFiles) s += QStringLiteral("<td class=\"n\">%1</td>").arg(e.files.size());
        s += QStringLiteral("</tr>");
        if (m_layout.withFiles && !e.files.empty()) {
            // The files in blocks of fixed-width tables: a browser lays out
            // only the blocks in view, so that a list of 100,000 files opens
            // at once.
            s += QStringLiteral(
                     "<tr class=\"files\"><td colspan=\"%1\"><details><summary>%2 %3"
                     "</summary><div class=\"fl\"><table class=\"filelist\">%4<thead><tr>")
                     .arg(m_span)
                     .arg(e.files.size())
                     .arg(e.files.size() == 1 ? QStringLiteral("Datei") : QStringLiteral("Dateien"),
                          QLatin1String(kFileColumns));
            for (const Column& c : m_fileColumns)
                s += QStringLiteral("<th>") + QString::fromUtf8(c.title) + QStringLiteral("</th>");
            s += QStringLiteral("</tr></thead></table>");
            for (std::size_t first = 0; first < e.files.size(); first += kBlockRows) {
                const std::size_t rows = std::min(kBlockRows, e.files.size() - first);
                s += QStringLiteral(
                         "<div class=\"block\" style=\"contain-intrinsic-size:auto %1em\">"
                         "<table class=\"filelist\">%2<tbody>")
                         .arg(double(rows) * 1.45, 0, 'f', 1)
                         .arg(QLatin1String(kFileColumns));
                for (std::size_t i = first; i < first + rows; ++i) {
                    s += QStringLiteral("<tr>");
                    for (const Column& c : m_fileColumns)
                        cell(s, valueAt(e.files[i], c.field), c.numeric);
                    s += QStringLiteral("</tr>\n");
                }
                s += QStringLiteral("</tbody></table></div>");
                m_out << s;
                s.clear();
            }
            s += QStringLiteral("</div></details></td></tr>");
        }
        s += QStringLiteral("</tbody>\n");
        m_out << s;
    }
    void end() override {
        m_out << "</table>\n<script>" << kHtmlScript << "</script>\n</body>\n</html>\n";
        m_out.flush();
    }

  private:
    struct Column {
        int field;
        const char* title;
        bool numeric;
        const char* cls = nullptr;
    };
    static void cell(QString& s, const ExportValue& v, bool numeric, const char* cls = nullptr) {
        s += numeric ? QStringLiteral("<td class=\"n\">")
             : cls   ? QStringLiteral("<td class=\"%1\">").arg(QLatin1String(cls))
                     : QStringLiteral("<td>");
        s += htmlValue(v);
        s += QStringLiteral("</td>");
    }
    Out m_out;
    ExportLayout m_layout;
    std::vector<Column> m_columns;
    std::vector<Column> m_fileColumns;
    int m_memo = -1;
    int m_span = 1;
};

}  // namespace

std::unique_ptr<ExportWriter> makeCsvWriter(QIODevice& entries, QIODevice* files) {
    return std::make_unique<CsvWriter>(entries, files);
}

std::unique_ptr<ExportWriter> makeJsonLinesWriter(QIODevice& out) {
    return std::make_unique<JsonLinesWriter>(out);
}

std::unique_ptr<ExportWriter> makeHtmlWriter(QIODevice& out) {
    return std::make_unique<HtmlWriter>(out);
}

}  // namespace qv
