#include "reading/core/readingtool.h"

#include <QString>

#include <ostream>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "reading/core/carrierreading.h"
#include "store/conversion.h"
#include "store/displays.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"
#include "volumes/core/volumeprovider.h"

namespace qv {

namespace {

// The progress window as lines of text: every text that changes.
class TextProgress : public ProgressDisplay {
  public:
    explicit TextProgress(std::ostream& out) : m_out(out) {}
    void setLine1(const QString& text) override { print(text, m_line1); }
    void setLine2(const QString& text) override { print(text, m_line2); }
    void showProgress() override {}
    void closeProgress() override { m_out.flush(); }

  private:
    void print(const QString& text, QString& last) {
        if (text == last) return;
        last = text;
        if (!text.isEmpty()) m_out << text.toStdString() << '\n';
    }
    std::ostream& m_out;
    QString m_line1;
    QString m_line2;
};

// The catalogue at `dir` with its entry and file tables open; `n` must be
// the number of an entry.
struct OpenCatalogue {
    OpenCatalogue(const std::string& dir, int n) : dm(QString::fromStdString(dir)), session(dm) {
        requireEntryNumber(n);
        dm.table(CatalogueTable::Entries).Open();
        dm.table(CatalogueTable::Files).Open();
        TApollo& entries = session.apollo(CatalogueTable::Entries);
        entries.sx_SetOrder(tagPosition(CatalogueTable::Entries, QStringLiteral("eindeutig")));
        if (!entries.sx_Seek(QString::number(n)))
            throw Error(
                ErrorCode::NotFound,
                QStringLiteral("Es gibt keinen Eintrag mit der Nummer %1").arg(n).toStdString());
    }
    xb::SettingsGuard settings;
    TDM dm;
    CatalogueSession session;
};

int entryNumber(const std::string& text) {
    return strToInt(QString::fromStdString(text));
}

}  // namespace

int readCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ReadingOptions options;
    bool allowEmpty = false;
    std::vector<std::string> plain;
    for (const std::string& a : args) {
        if (a == "--top-only")
            options.subdirectories = false;
        else if (a == "--all-extensions")
            options.definedExtensionsOnly = false;
        else if (a == "--allow-empty")
            allowEmpty = true;
        else
            plain.push_back(a);
    }
    if (plain.size() != 3) {
        err << "Aufruf: qvdb read VERZEICHNIS EINTRAG WURZEL [--top-only] [--all-extensions] "
               "[--allow-empty]\n";
        return 1;
    }
    const int n = entryNumber(plain[1]);
    OpenCatalogue c(plain[0], n);
    const QString root = QString::fromStdString(plain[2]);
    // A reading that would leave the entry without files is refused unless
    // asked for: the list is released before the carrier is walked.
    if (!allowEmpty) {
        const int held = fileRecordCount(c.session, n);
        if (held > 0 && !rootHoldsFiles(root, options)) {
            err << "qvdb: Der gewählte Datenträger enthält keine Dateien; die bisherige "
                   "Dateiliste ("
                << held << " Dateien) bleibt (mit --allow-empty wird trotzdem eingelesen)\n";
            return 1;
        }
        if (options.definedExtensionsOnly && extensionListEmpty(c.session)) {
            err << "qvdb: Es sind keine Einlese-Endungen definiert, es würde keine Datei "
                   "eingelesen (--all-extensions liest alle Endungen, --allow-empty trotzdem)\n";
            return 1;
        }
    }
    TextProgress progress(out);
    const ReadingResult r = readCarrier(c.session, n, root, options, progress);
    recordVolumeAfterReading(c.dm.programDir(), n, root);
    out << r.released << " freigegeben, " << r.stored << " gespeichert (" << r.reused
        << " wiederverwendet)\n";
    if (r.skipped > 0) out << skippedText(r.skipped).toStdString() << '\n';
    return 0;
}

int releaseCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        err << "Aufruf: qvdb release VERZEICHNIS EINTRAG\n";
        return 1;
    }
    const int n = entryNumber(args[1]);
    OpenCatalogue c(args[0], n);
    const int count = releaseFileRecords(c.session, n);
    out << releasedCountText(count).toStdString() << '\n';
    return 0;
}

void addReadingCommands() {
    qvdb::addCommand(
        {"read", "read VERZEICHNIS EINTRAG WURZEL [--top-only] [--all-extensions] [--allow-empty]",
         [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
            std::ostream& err) { return readCommand(args, out, err); }});
    qvdb::addCommand({"release", "release VERZEICHNIS EINTRAG",
                      [](const std::vector<std::string>& args, std::istream&, std::ostream& out,
                         std::ostream& err) { return releaseCommand(args, out, err); }});
}

}  // namespace qv
