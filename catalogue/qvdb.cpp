#include "catalogue/qvdb.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include "catalogue/cataloguecheck.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/introprogress.h"
#include "catalogue/json_text.h"
#include "catalogue/readingjournal.h"
#include "catalogue/reorganisation.h"
#include "store/tables/cataloguetables.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_cursor.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"
#include "store/xbase/settings.h"
#include "store/xbase/smt_file.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_check.h"
#include "store/xbase/table_index.h"

namespace qvdb {

namespace {

const char* kUsage =
    "Aufruf: qvdb info DATEI.dbf\n"
    "        qvdb dump DATEI.dbf\n"
    "        qvdb create DATEI.dbf NAME:TYP[:BREITE[:NACHKOMMA]] ...\n"
    "        qvdb append DATEI.dbf   (liest JSON-Zeilen von der Standardeingabe)\n"
    "        qvdb tags DATEI.dbf\n"
    "        qvdb walk DATEI.dbf TAG\n"
    "        qvdb seek DATEI.dbf TAG SCHLÜSSEL [--soft]\n"
    "        qvdb index DATEI.dbf TAG SCHLÜSSEL [BEDINGUNG]\n"
    "        qvdb reindex DATEI.dbf\n"
    "        qvdb check [DATEI.dbf|VERZEICHNIS]\n"
    "        qvdb init [VERZEICHNIS]\n"
    "        qvdb reorg [VERZEICHNIS]\n"
    "check, init und reorg ohne Angabe: der Katalog des Programms.\n";

std::string rtrim(std::string_view s) {
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return std::string(s);
}

std::string hexByte(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFF);
    return buf;
}

const char* memoName(xb::MemoKind k) {
    switch (k) {
        case xb::MemoKind::Smt:
            return "SMT";
        case xb::MemoKind::Dbt:
            return "DBT";
        case xb::MemoKind::Fpt:
            return "FPT";
        case xb::MemoKind::None:
            break;
    }
    return "keine";
}

std::string dbfDateText(std::int32_t jdn) {
    char buf[8];
    xb::formatDbfDate(jdn, buf);
    return rtrim(std::string_view(buf, 8));
}

void appendMemoValue(std::string& out, const xb::MemoValue& v, std::string_view field = {}) {
    using T = xb::MemoValue::Type;
    switch (v.type) {
        case T::None:
        case T::Nil:
            out += "null";
            break;
        case T::Text:
        case T::Binary:
            appendJsonString(out, qv::tables::memoTextUtf8(field, v.bytes));
            break;
        case T::Integer:
            out += std::to_string(v.integer);
            break;
        case T::Number: {
            char buf[64];
            const auto r = std::to_chars(buf, buf + sizeof buf, v.number);
            out.append(buf, r.ptr);
            break;
        }
        case T::Date:
            appendJsonString(out, dbfDateText(v.jdn));
            break;
        case T::Logical:
            out += v.logical ? "true" : "false";
            break;
        case T::Array:
            out.push_back('[');
            for (std::size_t i = 0; i < v.items.size(); ++i) {
                if (i) out.push_back(',');
                appendMemoValue(out, v.items[i]);
            }
            out.push_back(']');
            break;
    }
}

void appendField(std::string& out, xb::Table& t, int i) {
    const xb::FieldDesc& f = t.field(i);
    const std::string_view raw = t.raw(i);
    switch (f.type) {
        case 'N':
        case 'F':
            out += t.isBlank(i) ? std::string("null") : jsonNumber(raw);
            break;
        case 'L':
            out += t.isBlank(i) ? "null" : t.logical(i) ? "true" : "false";
            break;
        case 'M':
            appendMemoValue(out, t.memoValue(i), f.name);
            break;
        default:  // C, D and types this engine only reads
            appendJsonString(out, xb::cp1252ToUtf8(rtrim(raw)));
    }
}

// ---- append --------------------------------------------------------------------------

// One checked field assignment of an input line.
struct Assignment {
    int field;
    enum Kind { Blank, Text, Number, Date, Logical, Memo } kind;
    std::string bytes;
    double number = 0;
    std::int32_t jdn = 0;
    bool logical = false;
};

struct Line {
    bool deleted = false;
    std::vector<Assignment> values;
};

// Parses and checks one input line against the table; returns an error text
// (without the line number) or "".
std::string parseLine(const std::string& text, xb::Table& t, Line& line) {
    QJsonParseError perr;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &perr);
    if (perr.error != QJsonParseError::NoError)
        return "kein gültiges JSON (" + perr.errorString().toStdString() + ")";
    if (!doc.isObject()) return "kein JSON-Objekt";
    const QJsonObject obj = doc.object();
    for (auto it = obj.begin(); it != obj.end(); ++it) {
        const QString key = it.key();
        if (key == "recno") continue;
        if (key == "deleted") {
            if (!it.value().isBool()) return "\"deleted\" muss true oder false sein";
            line.deleted = it.value().toBool();
        } else if (key != "f") {
            return "unbekannter Eintrag \"" + key.toStdString() + "\"";
        }
    }
    const QJsonValue fv = obj.value("f");
    if (fv.isUndefined()) return "";
    if (!fv.isObject()) return "\"f\" muss ein Objekt sein";
    const QJsonObject fields = fv.toObject();
    for (auto it = fields.begin(); it != fields.end(); ++it) {
        const std::string name = it.key().toStdString();
        const int idx = t.fieldIndex(name);
        if (idx < 0) return "die Tabelle hat kein Feld " + name;
        const xb::FieldDesc& f = t.field(idx);
        const QJsonValue v = it.value();
        Assignment a{idx, Assignment::Blank, {}, 0, 0, false};
        const std::string what = "Feld " + f.name + ": ";
        if (v.isNull()) {
            if (std::string_view("CNFDLM").find(f.type) == std::string_view::npos)
                return what + "dieser Feldtyp kann nur gelesen werden";
        } else {
            switch (f.type) {
                case 'C':
                    if (!v.isString()) return what + "Text erwartet";
                    a.kind = Assignment::Text;
                    a.bytes = xb::utf8ToCp1252(v.toString().toStdString());
                    if (a.bytes.size() > f.len)
                        return what + "der Text ist länger als " + std::to_string(f.len) +
                               " Zeichen";
                    break;
                case 'N':
                case 'F':
                    if (!v.isDouble()) return what + "Zahl erwartet";
                    a.kind = Assignment::Number;
                    a.number = v.toDouble();
                    if (xb::formatNumber(a.number, f.len, f.dec).find('*') != std::string::npos)
                        return what + "die Zahl passt nicht in " + std::to_string(f.len) +
                               " Stellen";
                    break;
                case 'D': {
                    if (!v.isString()) return what + "Datum als \"JJJJMMTT\" erwartet";
                    const std::string s = v.toString().toStdString();
                    a.kind = Assignment::Date;
                    if (s.empty()) break;
                    a.jdn = s.size() == 8 ? xb::parseDbfDate(s.c_str()) : 0;
                    if (a.jdn == 0) return what + "ungültiges Datum \"" + s + "\"";
                    break;
                }
                case 'L':
                    if (!v.isBool()) return what + "true, false oder null erwartet";
                    a.kind = Assignment::Logical;
                    a.logical = v.toBool();
                    break;
                case 'M':
                    if (!v.isString()) return what + "Text oder null erwartet";
                    a.kind = Assignment::Memo;
                    a.bytes = qv::tables::memoHoldsUtf8(f.name)
                                  ? v.toString().toStdString()
                                  : xb::utf8ToCp1252(v.toString().toStdString());
                    break;
                default:
                    return what + "dieser Feldtyp kann nur gelesen werden";
            }
        }
        line.values.push_back(std::move(a));
    }
    return "";
}

void apply(xb::Table& t, const Line& line) {
    for (const Assignment& a : line.values) {
        switch (a.kind) {
            case Assignment::Blank:
                t.replaceBlank(a.field);
                break;
            case Assignment::Text:
                t.replaceText(a.field, a.bytes);
                break;
            case Assignment::Number:
                t.replaceNumber(a.field, a.number);
                break;
            case Assignment::Date:
                t.replaceDate(a.field, a.jdn);
                break;
            case Assignment::Logical:
                t.replaceLogical(a.field, a.logical);
                break;
            case Assignment::Memo:
                t.replaceMemo(a.field, a.bytes);
                break;
        }
    }
    if (line.deleted) t.deleteRecord();
}

}  // namespace

int info(const std::string& file, std::ostream& out) {
    auto t = xb::Table::open(file, xb::OpenMode::ReadOnly);
    const xb::DbfHeader& h = t->header();
    char date[16];
    std::snprintf(date, sizeof date, "%02d.%02d.%04d", h.day, h.month, h.year);
    out << "Datei:              " << t->path() << "\n"
        << "Kennung:            " << hexByte(h.version) << " (Memodatei: " << memoName(h.memo)
        << ")\n"
        << "Letzte Änderung:    " << date << "\n"
        << "Datensätze:         " << t->recCount() << " (im Kopf: " << h.storedCount << ")\n"
        << "Kopflänge:          " << h.headerLength << " (Abschluss " << h.terminatorLength
        << " Bytes)\n"
        << "Satzlänge:          " << h.recordLength << "\n"
        << "Byte 28:            " << hexByte(h.flags)
        << ((h.flags & 1) ? " (Produktionsindex)" : "") << "\n"
        << "Byte 29:            " << hexByte(h.language) << "\n"
        << "Felder:             " << t->fieldCount() << "\n";
    for (std::size_t i = 0; i < t->fieldCount(); ++i) {
        const xb::FieldDesc& f = t->field(static_cast<int>(i));
        char line[96];
        std::snprintf(line, sizeof line, "  %3zu  %-10s %c %5u %2u  Offset %u\n", i + 1,
                      f.name.c_str(), f.type, static_cast<unsigned>(f.len),
                      static_cast<unsigned>(f.dec), static_cast<unsigned>(f.offset));
        out << line;
    }
    if (xb::MemoStore* m = t->memoStore()) {
        out << "Memodatei:          " << m->path() << " (" << memoName(m->kind()) << ")\n"
            << "  Dateigröße:       " << m->fileSize() << "\n";
        if (xb::SmtFile* smt = t->smtFile()) {
            out << "  Blockgröße:       " << smt->blockSize() << "\n"
                << "  Nächster freier Block: " << smt->nextFreeBlock() << "\n"
                << "  Freiliste:        " << smt->freeList().size() << " Einträge\n";
            for (const xb::MemoExtent& e : smt->freeList())
                out << "    " << e.blocks << " Blöcke ab Block " << e.block << "\n";
        }
    }
    return 0;
}

int dump(const std::string& file, std::ostream& out, std::ostream& err) {
    auto t = xb::Table::open(file, xb::OpenMode::ReadOnly);
    std::string line;
    bool damaged = false;
    for (std::uint32_t r = 1; r <= t->recCount(); ++r) {
        t->go(r);
        line = "{\"recno\":" + std::to_string(r) +
               ",\"deleted\":" + (t->deleted() ? "true" : "false") + ",\"f\":{";
        for (int i = 0; i < static_cast<int>(t->fieldCount()); ++i) {
            if (i) line.push_back(',');
            appendJsonString(line, t->field(i).name);
            line.push_back(':');
            const std::size_t at = line.size();
            try {
                appendField(line, *t, i);
            } catch (const qv::Error& e) {
                // A damaged memo: the record is dumped without it, so that
                // the rest of the table can still be saved.
                if (e.code() != qv::ErrorCode::Corrupt) throw;
                line.resize(at);
                line += "null";
                err << "qvdb: Datensatz " << r << ", Feld " << t->field(i).name << ": " << e.text()
                    << '\n';
                damaged = true;
            }
        }
        line += "}}\n";
        out << line;
    }
    out.flush();
    return damaged ? 1 : 0;
}

int create(const std::string& file, const std::vector<std::string>& defs, std::ostream& err) {
    if (defs.empty()) {
        err << "qvdb: create braucht mindestens eine Feldangabe NAME:TYP[:BREITE[:NACHKOMMA]]\n";
        return 1;
    }
    xb::TableBuilder b(file);
    if (xb::Env::posix().exists(b.path())) {
        err << "qvdb: Die Datei " << b.path() << " gibt es bereits\n";
        return 1;
    }
    for (const std::string& def : defs) {
        std::vector<std::string> parts;
        std::stringstream ss(def);
        for (std::string p; std::getline(ss, p, ':');)
            parts.push_back(p);
        if (!def.empty() && def.back() == ':') parts.push_back("");
        auto number = [&](std::size_t i, int& v) {
            if (i >= parts.size()) return true;
            const std::string& p = parts[i];
            const auto r = std::from_chars(p.data(), p.data() + p.size(), v);
            return r.ec == std::errc() && r.ptr == p.data() + p.size();
        };
        int width = 0, dec = 0;
        if (parts.size() < 2 || parts.size() > 4 || parts[1].size() != 1 || !number(2, width) ||
            !number(3, dec)) {
            err << "qvdb: ungültige Feldangabe \"" << def
                << "\" (erwartet NAME:TYP[:BREITE[:NACHKOMMA]])\n";
            return 1;
        }
        b.addField(parts[0], parts[1][0], width, dec);
    }
    b.create();
    return 0;
}

int append(const std::string& file, std::istream& in, std::ostream& out, std::ostream& err) {
    auto t = xb::Table::open(file);
    std::string text;
    long lineNo = 0;
    long appended = 0;
    while (std::getline(in, text)) {
        ++lineNo;
        if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
        Line line;
        const std::string problem = parseLine(text, *t, line);
        if (!problem.empty()) {
            t->close();
            err << "qvdb: Zeile " << lineNo << ": " << problem << "\n";
            out << appended << " Datensätze angehängt\n";
            return 1;
        }
        t->append();
        try {
            apply(*t, line);
            t->commitRecord();
        } catch (...) {
            t->discard();
            throw;
        }
        ++appended;
    }
    t->close();
    out << appended << " Datensätze angehängt\n";
    return 0;
}

namespace {

// The tag position named by `tag` (a name or a number), 0 when none.
int tagPositionOf(xb::Table& t, const std::string& tag) {
    int pos = 0;
    const auto [p, ec] = std::from_chars(tag.data(), tag.data() + tag.size(), pos);
    if (ec == std::errc() && p == tag.data() + tag.size())
        return pos >= 1 && pos <= t.index().tagCount() ? pos : 0;
    return t.index().tagPosition(tag);
}

std::string hexOf(std::string_view bytes) {
    static const char* digits = "0123456789abcdef";
    std::string h;
    h.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        h += digits[c >> 4];
        h += digits[c & 15];
    }
    return h;
}

}  // namespace

int tags(const std::string& file, std::ostream& out) {
    auto t = xb::Table::open(file, xb::OpenMode::ReadOnly);
    for (int pos = 1; pos <= t->index().tagCount(); ++pos) {
        xb::NsxTag& tag = t->index().indexFile()->tag(pos - 1);
        out << pos << '\t' << tag.name() << '\t' << xb::cp1252ToUtf8(tag.keyExpr()) << '\t'
            << xb::cp1252ToUtf8(tag.forExpr()) << '\t' << tag.count() << '\n';
    }
    t->close();
    return 0;
}

int walk(const std::string& file, const std::string& tag, std::ostream& out, std::ostream& err) {
    auto t = xb::Table::open(file, xb::OpenMode::ReadOnly);
    const int pos = tagPositionOf(*t, tag);
    if (pos == 0) {
        err << "qvdb: die Tabelle " << file << " hat keinen Tag " << tag << "\n";
        return 1;
    }
    xb::NsxCursor c(t->index().indexFile()->tag(pos - 1));
    for (bool ok = c.first(); ok; ok = c.next())
        out << c.recno() << ' ' << hexOf(c.key()) << '\n';
    t->close();
    return 0;
}

int seek(const std::string& file, const std::string& tag, const std::string& key, bool soft,
         std::ostream& out, std::ostream& err) {
    auto t = xb::Table::open(file, xb::OpenMode::ReadOnly);
    const int pos = tagPositionOf(*t, tag);
    if (pos == 0) {
        err << "qvdb: die Tabelle " << file << " hat keinen Tag " << tag << "\n";
        return 1;
    }
    xb::SettingsGuard guard;
    xb::settings().softSeek = soft;
    xb::settings().deleted = false;
    t->index().setOrder(pos);
    const xb::NsxKeyType type = t->index().indexFile()->tag(pos - 1).keyType();
    bool found = false;
    if (type == xb::NsxKeyType::Numeric) {
        double v = 0;
        const auto [p, ec] = std::from_chars(key.data(), key.data() + key.size(), v);
        if (ec != std::errc() || p != key.data() + key.size()) {
            err << "qvdb: \"" << key << "\" ist keine Zahl\n";
            return 1;
        }
        found = t->index().seekNumber(v);
    } else if (type == xb::NsxKeyType::Date) {
        const std::int32_t jdn = key.size() == 8 ? xb::parseDbfDate(key.c_str()) : 0;
        if (jdn == 0) {
            err << "qvdb: \"" << key << "\" ist kein Datum JJJJMMTT\n";
            return 1;
        }
        found = t->index().seekDate(jdn);
    } else {
        found = t->index().seek(xb::utf8ToCp1252(key));
    }
    out << (found ? "found " : "notfound ");
    if (t->eof())
        out << "eof\n";
    else
        out << t->recNo() << '\n';
    t->close();
    return 0;
}

int index(const std::string& file, const std::string& tag, const std::string& key,
          const std::string& forExpr, std::ostream& out) {
    auto t = xb::Table::open(file);
    t->index().indexTag(tag, xb::utf8ToCp1252(key), xb::utf8ToCp1252(forExpr));
    out << "Tag " << t->index().tagName(t->index().order()) << " mit "
        << t->index().indexFile()->tag(t->index().order() - 1).count() << " Schlüsseln angelegt\n";
    t->close();
    return 0;
}

int reindex(const std::string& file, std::ostream& out) {
    auto t = xb::Table::open(file);
    t->index().reindex();
    out << t->index().tagCount() << " Tags neu aufgebaut\n";
    t->close();
    return 0;
}

// Less room than this counts as a full disk (a few index pages).
constexpr std::uint64_t kFullDiskBytes = 64 * 1024;

int check(const std::string& path, std::ostream& out, std::ostream& err) {
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        for (const auto& e : fs::directory_iterator(path)) {
            std::string ext = e.path().extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (e.is_regular_file() && ext == ".dbf") files.push_back(e.path().string());
        }
        std::sort(files.begin(), files.end());
    } else {
        files.push_back(path);
    }
    std::size_t faults = 0;
    for (const std::string& f : files) {
        const std::vector<std::string> found = xb::checkTableFile(f);
        for (const std::string& text : found)
            err << f << ": " << text << "\n";
        faults += found.size();
    }
    if (fs::is_directory(path, ec)) {
        const fs::path journal = fs::path(path) / qv::kReadingJournalFile;
        if (fs::exists(journal, ec)) {
            std::optional<qv::ReadingJournal> state;
            try {
                state = qv::readReadingJournal(QString::fromStdString(journal.string()));
            } catch (const qv::Error&) {
            }
            err << journal.string()
                << (state && !qv::undoesReading(state->stage)
                        ? ": ein Einlesen wurde beim Abspeichern unterbrochen; der nächste Start "
                          "schließt es ab\n"
                        : ": ein Einlesen wurde unterbrochen; der nächste Start stellt die "
                          "bisherige Dateiliste wieder her\n");
            ++faults;
        }
    }
    // A full disk is no fault of the files, but nothing can change them.
    struct statvfs fsInfo;
    if (fs::is_directory(path, ec) && ::statvfs(path.c_str(), &fsInfo) == 0 &&
        static_cast<std::uint64_t>(fsInfo.f_bavail) * fsInfo.f_frsize < kFullDiskBytes)
        out << path
            << ": auf dem Datenträger ist kein Platz mehr frei; Änderungen am Katalog können "
               "scheitern, bis wieder Platz geschaffen ist\n";
    out << files.size() << " Tabellen geprüft, " << faults << " Fehler\n";
    return faults == 0 ? 0 : 1;
}

namespace {

// The intro window as lines of text: each step text, then the bar's values
// as they change.
class TextIntro : public qv::IntroDisplay {
  public:
    explicit TextIntro(std::ostream& out) : out_(out) {}

    void setStepText(const QString& text) override {
        out_ << text.toStdString() << '\n';
        last_ = -1;
    }
    void setStatusText(const QString&) override {}
    void showNow() override {}
    void closeNow() override { out_.flush(); }
    void showGauge() override {}
    void hideGauge() override {}
    void announceSteps(int n) override { progress_.announceSteps(n); }
    void setStep(int i) override { progress_.setStep(i); }
    void reportProgress(int percent) override {
        const int v = progress_.valueFor(percent);
        if (v == last_) return;
        last_ = v;
        out_ << v << '\n';
    }

  private:
    std::ostream& out_;
    qv::IntroProgress progress_;
    int last_ = -1;
};

// Runs a catalogue operation of the program on `dir`: 0 when it went
// through, 1 with the "Abbruch" text when a table could not be created.
template <typename Op>
int onCatalogue(const std::string& dir, std::ostream& out, std::ostream& err, Op&& op) {
    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(dir));
    qv::CatalogueSession access(dm);
    TextIntro intro(out);
    bool ended = false;
    const bool ok = op(dm, access, intro, [&](const QString& text) {
        err << qv::kFatalCaption.toStdString() << ": " << text.toStdString() << '\n';
        ended = true;
    });
    out.flush();
    return ok && !ended ? 0 : 1;
}

}  // namespace

int init(const std::string& dir, std::ostream& out, std::ostream& err) {
    return onCatalogue(dir, out, err,
                       [&err](TDM& dm, qv::CatalogueSession& access, qv::IntroDisplay& intro,
                              const qv::FatalMessage& fatal) {
                           return qv::checkCatalogue(
                               dm, access, intro, fatal, xb::Env::posix(),
                               [&err](const QString& text) { err << text.toStdString() << ".\n"; });
                       });
}

int reorg(const std::string& dir, std::ostream& out, std::ostream& err) {
    return onCatalogue(dir, out, err,
                       [](TDM& dm, qv::CatalogueSession& access, qv::IntroDisplay& intro,
                          const qv::FatalMessage& fatal) {
                           return qv::reorganiseCatalogue(dm, access, intro, fatal);
                       });
}

namespace {
std::vector<FeatureCommand>& featureCommands() {
    static std::vector<FeatureCommand> commands;
    return commands;
}

void printUsage(std::ostream& err) {
    err << kUsage;
    for (const FeatureCommand& c : featureCommands())
        err << "        qvdb " << c.usage << '\n';
}
}  // namespace

void addCommand(FeatureCommand command) {
    for (FeatureCommand& c : featureCommands())
        if (c.name == command.name) {
            c = std::move(command);
            return;
        }
    featureCommands().push_back(std::move(command));
}

int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err) {
    if (args.empty()) {
        printUsage(err);
        return 1;
    }
    const std::string& cmd = args[0];
    // Asking for the usage is no error.
    if (cmd == "help" || cmd == "--help" || cmd == "-h") {
        printUsage(out);
        return 0;
    }
    for (const FeatureCommand& c : featureCommands()) {
        if (c.name != cmd) continue;
        try {
            return c.run(std::vector<std::string>(args.begin() + 1, args.end()), in, out, err);
        } catch (const qv::Error& e) {
            err << "qvdb: " << e.text() << "\n";
        } catch (const std::exception& e) {
            err << "qvdb: " << e.what() << "\n";
        }
        return 1;
    }
    const bool known = cmd == "info" || cmd == "dump" || cmd == "create" || cmd == "append" ||
                       cmd == "tags" || cmd == "walk" || cmd == "seek" || cmd == "index" ||
                       cmd == "reindex" || cmd == "check" || cmd == "init" || cmd == "reorg";
    std::size_t minArgs = 2, maxArgs = 2;
    if (cmd == "create") maxArgs = args.size();
    if (cmd == "walk") minArgs = maxArgs = 3;
    if (cmd == "seek") minArgs = 4, maxArgs = 5;
    if (cmd == "index") minArgs = 4, maxArgs = 5;
    // Without a folder these work on the program's own catalogue.
    const bool onCatalogueDir = cmd == "check" || cmd == "init" || cmd == "reorg";
    if (onCatalogueDir) minArgs = 1;
    const bool softFlag = cmd == "seek" && args.size() == 5 && args[4] == "--soft";
    if (!known || args.size() < minArgs || args.size() > maxArgs ||
        (cmd == "seek" && args.size() == 5 && !softFlag)) {
        if (!known) err << "qvdb: unbekannter Befehl \"" << cmd << "\"\n";
        printUsage(err);
        return 1;
    }
    try {
        if (onCatalogueDir) {
            const std::string dir =
                args.size() > 1 ? args[1] : qv::defaultProgramDirectory().toStdString();
            if (cmd == "check") return check(dir, out, err);
            if (cmd == "init") return init(dir, out, err);
            return reorg(dir, out, err);
        }
        if (cmd == "info") return info(args[1], out);
        if (cmd == "dump") return dump(args[1], out, err);
        if (cmd == "create")
            return create(args[1], std::vector<std::string>(args.begin() + 2, args.end()), err);
        if (cmd == "tags") return tags(args[1], out);
        if (cmd == "walk") return walk(args[1], args[2], out, err);
        if (cmd == "seek") return seek(args[1], args[2], args[3], softFlag, out, err);
        if (cmd == "index")
            return index(args[1], args[2], args[3], args.size() == 5 ? args[4] : "", out);
        if (cmd == "reindex") return reindex(args[1], out);
        return append(args[1], in, out, err);
    } catch (const qv::Error& e) {
        err << "qvdb: " << e.text() << "\n";
    } catch (const std::exception& e) {
        err << "qvdb: " << e.what() << "\n";
    }
    return 1;
}

}  // namespace qvdb
