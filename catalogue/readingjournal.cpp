#include "catalogue/readingjournal.h"

#include <QFile>

#include <string>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "store/conversion.h"
#include "store/ttable.h"
#include "store/xbase/env.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

namespace {

constexpr char kMagic[] = "QV-Einlesen";

std::string local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

const char* stageWord(ReadingStage s) {
    switch (s) {
        case ReadingStage::Storing:
            return "speichern";
        case ReadingStage::Releasing:
            return "freigeben";
        case ReadingStage::Renaming:
            return "umbenennen";
        case ReadingStage::Adding:
            return "hinzufuegen";
    }
    return "";
}

// str(n,8): the leading part of a key in the file table's tag "dirnumm".
std::string numberKey(int n) {
    std::string s = std::to_string(n);
    if (s.size() < 8) s.insert(0, 8 - s.size(), ' ');
    return s;
}

[[noreturn]] void notAJournal(const std::string& path) {
    throw Error(ErrorCode::Corrupt,
                "Die Datei " + path +
                    " ist kein Protokoll eines Einlesens und muss von Hand "
                    "entfernt werden",
                path);
}

// The entry's title for a message, "" when there is no such entry.
QString entryTitle(TTable& entries, int n) {
    if (!entries.Active()) return {};
    xb::Table& t = *entries.engine();
    entries.CheckBrowseMode();
    const int tag = t.index().tagPosition("eindeutig");
    const int title = t.fieldIndex("bezeich");
    if (tag <= 0 || title < 0) return {};
    const int order = t.index().order();
    const std::uint32_t recno = t.recNo();
    QString result;
    t.index().setOrder(tag);
    if (t.index().seekNumber(n) && !t.eof()) result = fromCp1252(t.raw(title)).trimmed();
    t.index().setOrder(order);
    t.go(recno);
    entries.Refresh();
    return result;
}

}  // namespace

QString readingJournalPath(const TDM& dm) {
    return dm.filePath(QString::fromLatin1(kReadingJournalFile));
}

void writeReadingJournal(const QString& path, const ReadingJournal& journal) {
    xb::Env& env = xb::Env::posix();
    const std::string target = local(path);
    const std::string tmp = target + ".neu";
    const std::string text = std::string(kMagic) + "\n" + std::to_string(journal.entry) + "\n" +
                             stageWord(journal.stage) + "\n";
    try {
        {
            std::unique_ptr<xb::RandomFile> f = env.create(tmp);
            f->writeAt(0, text.data(), text.size());
            f->sync();
        }
        env.rename(tmp, target);
        env.syncDirectoryOf(target);
    } catch (...) {
        try {
            env.remove(tmp);
        } catch (...) {
        }
        throw;
    }
}

std::optional<ReadingJournal> readReadingJournal(const QString& path) {
    QFile f(path);
    if (!f.exists()) return std::nullopt;
    const std::string p = local(path);
    if (!f.open(QIODevice::ReadOnly))
        throw Error(
            ErrorCode::IoError,
            "Die Datei " + p + " kann nicht gelesen werden: " + f.errorString().toStdString(), p);
    const QList<QByteArray> lines = f.readAll().split('\n');
    if (lines.size() < 3 || lines[0] != kMagic) notAJournal(p);
    bool ok = false;
    ReadingJournal j;
    j.entry = lines[1].toInt(&ok);
    if (!ok || j.entry < 1 || j.entry > kHighestEntryNumber) notAJournal(p);
    if (lines[2] == stageWord(ReadingStage::Storing))
        j.stage = ReadingStage::Storing;
    else if (lines[2] == stageWord(ReadingStage::Releasing))
        j.stage = ReadingStage::Releasing;
    else if (lines[2] == stageWord(ReadingStage::Renaming))
        j.stage = ReadingStage::Renaming;
    else if (lines[2] == stageWord(ReadingStage::Adding))
        j.stage = ReadingStage::Adding;
    else
        notAJournal(p);
    return j;
}

void removeReadingJournal(const QString& path) {
    xb::Env& env = xb::Env::posix();
    const std::string p = local(path);
    env.remove(p);
    env.syncDirectoryOf(p);
}

bool undoesReading(ReadingStage stage) {
    return stage == ReadingStage::Storing || stage == ReadingStage::Adding;
}

int renumberFileRecords(TTable& files, int from, int to,
                        const std::function<void(int count)>& counted) {
    if (!files.Active())
        throw Error(ErrorCode::State, "Die Tabelle der Dateien ist nicht geöffnet");
    files.CheckBrowseMode();
    xb::Table& t = *files.engine();
    const int tag = t.index().tagPosition("dirnumm");
    const int num = t.fieldIndex("dirnumm");
    if (tag <= 0 || num < 0)
        throw Error(ErrorCode::NotFound,
                    "Die Tabelle " + t.path() + " hat keinen Tag oder kein Feld dirnumm", t.path());
    t.index().setOrder(tag);
    const std::vector<std::uint32_t> records = t.index().seekRun(numberKey(from));
    int count = 0;
    if (!records.empty()) {
        // Natural order while changing; the tags' changes are brought in
        // together when the batch ends.
        t.index().setOrder(0);
        t.beginBatch(true, records.size());
        try {
            for (const std::uint32_t recno : records) {
                t.go(recno);
                t.replaceNumber(num, to);
                t.commitRecord();
                ++count;
                if (counted) counted(count);
            }
        } catch (...) {
            try {
                if (t.isHot()) t.discard();
                t.endBatch();
                t.index().setOrder(tag);
            } catch (...) {
            }
            throw;
        }
        t.endBatch();
        t.index().setOrder(tag);
        // Past the records, as a seek that finds none leaves the table.
        t.index().seek(numberKey(from));
    }
    files.Refresh();
    return count;
}

bool settleReading(TTable& files, const QString& path, const ReadingJournal& journal) {
    bool putBack = false;
    switch (journal.stage) {
        case ReadingStage::Storing:
            renumberFileRecords(files, kStagedEntryNumber, kReleasedEntryNumber);
            putBack = true;
            break;
        case ReadingStage::Releasing:
            renumberFileRecords(files, journal.entry, kReleasedEntryNumber);
            writeReadingJournal(path, {journal.entry, ReadingStage::Renaming});
            [[fallthrough]];
        case ReadingStage::Renaming:
            renumberFileRecords(files, kStagedEntryNumber, journal.entry);
            break;
        case ReadingStage::Adding:
            renumberFileRecords(files, journal.entry, kReleasedEntryNumber);
            putBack = true;
            break;
    }
    // The records are on the device before the journal goes.
    files.engine()->flush();
    removeReadingJournal(path);
    return putBack;
}

QString settleInterruptedReading(TDM& dm) {
    const QString path = readingJournalPath(dm);
    const std::optional<ReadingJournal> journal = readReadingJournal(path);
    if (!journal) return {};
    const bool putBack = settleReading(dm.table(CatalogueTable::Files), path, *journal);
    QString title = entryTitle(dm.table(CatalogueTable::Entries), journal->entry);
    const QString who =
        title.isEmpty()
            ? QStringLiteral("des Eintrags Nr. %1").arg(journal->entry)
            : QStringLiteral("des Eintrags \"%1\" (Nr. %2)").arg(title).arg(journal->entry);
    if (putBack)
        return QStringLiteral(
                   "Das Einlesen %1 wurde unterbrochen; die bisherige Dateiliste des Eintrags ist "
                   "wiederhergestellt")
            .arg(who);
    return QStringLiteral(
               "Das Einlesen %1 wurde beim Abspeichern unterbrochen und ist jetzt abgeschlossen")
        .arg(who);
}

}  // namespace qv
