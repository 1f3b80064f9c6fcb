#include "reading/core/carrierreading.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <optional>
#include <unordered_map>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/readingjournal.h"
#include "store/displays.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

namespace {

std::string utf8(const QString& s) {
    return s.toStdString();
}

// str(n,8) of the engine: the entry's key in the tag "dirnumm".
std::string entryKey(int n) {
    std::string s = std::to_string(n);
    if (s.size() < 8) s.insert(0, 8 - s.size(), ' ');
    return s;
}

int fieldOf(xb::Table& t, const char* name) {
    const int i = t.fieldIndex(name);
    if (i < 0)
        throw Error(ErrorCode::NotFound,
                    "Die Tabelle " + t.path() + " hat kein Feld " + std::string(name), t.path());
    return i;
}

// The file table's engine, with the table object in browse state.
xb::Table& fileEngine(TTable& files) {
    if (!files.Active())
        throw Error(ErrorCode::State, "Die Tabelle der Dateien ist nicht geöffnet");
    files.CheckBrowseMode();
    return *files.engine();
}

// Drops a record left half-written in the engine by an error.
class DiscardOnError {
  public:
    explicit DiscardOnError(xb::Table& t) : m_t(t) {}
    ~DiscardOnError() {
        try {
            if (m_t.isHot()) m_t.discard();
        } catch (...) {
        }
    }
    DiscardOnError(const DiscardOnError&) = delete;
    DiscardOnError& operator=(const DiscardOnError&) = delete;

  private:
    xb::Table& m_t;
};

// Closes a table object when it goes away.
class ScopedClose {
  public:
    explicit ScopedClose(TTable& t) : m_t(t) {}
    ~ScopedClose() {
        try {
            m_t.Close();
        } catch (...) {
        }
    }
    void closeNow() { m_t.Close(); }
    ScopedClose(const ScopedClose&) = delete;
    ScopedClose& operator=(const ScopedClose&) = delete;

  private:
    TTable& m_t;
};

// A run of changes to records a loop has already found: natural record
// order on the engine meanwhile, the records written in batches and the
// tags' changes brought in together at the end (merged into the trees when
// they are many).
// finish() writes the last batch and brings the tag back; after an error the
// end of the scope does. The callers have lifted the tag's range before.
class BulkChanges {
  public:
    explicit BulkChanges(xb::Table& t, std::size_t expected = 0)
        : m_t(t), m_order(t.index().order()) {
        m_t.index().setOrder(0);
        m_t.beginBatch(true, expected);
    }
    ~BulkChanges() {
        try {
            finish();
        } catch (...) {
        }
    }
    // Each step is taken even when one before it failed; the first error
    // is thrown.
    void finish() {
        if (m_finished) return;
        m_finished = true;
        std::exception_ptr failure;
        auto step = [&](auto&& f) {
            try {
                f();
            } catch (...) {
                if (!failure) failure = std::current_exception();
            }
        };
        step([&] { m_t.commitRecord(); });
        step([&] { m_t.endBatch(); });
        step([&] { m_t.index().setOrder(m_order); });
        if (failure) std::rethrow_exception(failure);
    }
    BulkChanges(const BulkChanges&) = delete;
    BulkChanges& operator=(const BulkChanges&) = delete;

  private:
    xb::Table& m_t;
    int m_order;
    bool m_finished = false;
};

// What a walk stopped by a failed write needs to put the file table back
// without room to spare: the table before the walk, and each released
// record it reused as it was.
struct WalkUndo {
    std::optional<xb::Table::TakeBackPoint> point;
    std::vector<xb::Table::RecordImage> reused;
};

// Writes the taken files into the file table: a released record when there
// is one, else a new one. Works on the engine directly while the file view
// is suspended; the table object is told once at the end.
class FileStore {
  public:
    // `expected` records will change in the batch, when known.
    FileStore(TTable& files, int n, WalkUndo& undo, std::size_t expected)
        : m_t(fileEngine(files)), m_number(n), m_undo(undo) {
        m_num = fieldOf(m_t, "dirnumm");
        m_path = fieldOf(m_t, "dirpfad");
        m_name = fieldOf(m_t, "dirname");
        m_ext = fieldOf(m_t, "direndung");
        m_size = fieldOf(m_t, "dirsize");
        m_date = fieldOf(m_t, "dirdate");
        m_time = fieldOf(m_t, "dirtime");
        m_memo = fieldOf(m_t, "dirmemo");
        // Nothing releases records while a reading stores, so the released
        // records are known now, in the order one seek per file would find
        // them.
        m_free = m_t.index().seekRun(entryKey(kReleasedEntryNumber));
        m_bulk.emplace(m_t, expected);
    }

    void store(const FileRecordValues& v) {
        DiscardOnError guard(m_t);
        bool reused = false;
        if (m_nextFree < m_free.size()) {
            m_t.go(m_free[m_nextFree++]);
            keepOriginal();
            ++m_reused;
            reused = true;
        } else {
            m_t.append();
        }
        m_t.replaceNumber(m_num, m_number);
        m_t.replaceText(m_path, v.path);
        m_t.replaceText(m_name, v.name);
        m_t.replaceText(m_ext, v.extension);
        m_t.replaceNumber(m_size, static_cast<double>(v.size));
        m_t.replaceDate(m_date, v.date);
        m_t.replaceText(m_time, v.time);
        if (!v.fullName.empty())
            m_t.replaceMemo(m_memo, v.fullName);
        else if (reused && m_t.memoWritten(m_memo))
            m_t.replaceBlank(m_memo);
        m_t.commitRecord();
        m_records.push_back(m_t.recNo());
        ++m_stored;
    }
    // Ends the batch, which also holds what is changed after the walk (the
    // swap): the tags' changes are brought in; the file table's order as it
    // was.
    void finish() { m_bulk->finish(); }
    int stored() const { return m_stored; }
    int reused() const { return m_reused; }
    // The records stored, in the order stored.
    const std::vector<std::uint32_t>& records() const { return m_records; }

  private:
    // The released record about to be reused, as it is; a memo it still
    // names goes with the reuse, so the copy names none.
    void keepOriginal() {
        std::string bytes = m_t.recordBytes();
        if (m_t.memoWritten(m_memo)) {
            const xb::FieldDesc& f = m_t.field(m_memo);
            bytes.replace(f.offset, f.len, f.len, ' ');
        }
        m_undo.reused.push_back({m_t.recNo(), std::move(bytes)});
    }

    xb::Table& m_t;
    double m_number;
    WalkUndo& m_undo;
    int m_num, m_path, m_name, m_ext, m_size, m_date, m_time, m_memo;
    std::vector<std::uint32_t> m_free;
    std::size_t m_nextFree = 0;
    std::optional<BulkChanges> m_bulk;
    std::vector<std::uint32_t> m_records;
    int m_stored = 0;
    int m_reused = 0;
};

// The extension table's answers, asked once per key.
class ExtensionFilter {
  public:
    explicit ExtensionFilter(xb::Table* t) : m_t(t) {}
    bool takes(const std::string& name) {
        if (!m_t) return true;
        const std::string key = extensionKey(name);
        auto it = m_cache.find(key);
        if (it != m_cache.end()) return it->second;
        const bool found = m_t->index().seek(key) && !m_t->eof();
        m_cache.emplace(key, found);
        return found;
    }

  private:
    xb::Table* m_t;
    std::unordered_map<std::string, bool> m_cache;
};

// Shows a count: the first at once, then when the display is due, and the
// last one when the loop ends.
class CountDisplay {
  public:
    explicit CountDisplay(ScopedProgress& p) : m_p(p) {}
    void count(int k) {
        m_last = k;
        if (k == 1) {
            m_p.detail(releasedCountText(k));
            m_shown = k;
        } else {
            m_p.detailLazy([&] {
                m_shown = k;
                return releasedCountText(k);
            });
        }
    }
    void finish() {
        if (m_last > 0 && m_shown != m_last) m_p.detail(releasedCountText(m_last));
    }

  private:
    ScopedProgress& m_p;
    int m_last = 0;
    int m_shown = 0;
};

}  // namespace

// ---- values ------------------------------------------------------------------------------

std::string extensionKey(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    ext += "    ";
    std::string key = ext.substr(1, 3);
    xb::upper1252InPlace(key.data(), key.size());
    return key;
}

FileRecordValues fileRecordValues(const WalkedFile& f) {
    FileRecordValues v;
    v.path.reserve(f.directory.size() + 1 + f.name.size());
    v.path = f.directory;
    v.path += ' ';
    v.path += f.name;
    if (f.lossy || f.name.size() > kNameWidth || v.path.size() > kPathWidth) {
        std::string raw;
        raw.reserve(f.rawDirectory.size() + 1 + f.rawName.size());
        raw = f.rawDirectory;
        raw += ' ';
        raw += f.rawName;
        // Names that are not valid UTF-8 keep a replacement character for
        // each byte that is not.
        v.fullName = QString::fromUtf8(raw).toStdString();
    }
    if (v.path.size() > kPathWidth) v.path.resize(kPathWidth);
    v.name = f.name.substr(0, kNameWidth);
    const std::size_t dot = f.name.rfind('.');
    if (dot != std::string::npos) v.extension = f.name.substr(dot + 1, kExtensionWidth);
    v.size = f.size < 0 ? 0 : std::min(f.size, kLargestFileSize);

    const std::time_t t = static_cast<std::time_t>(f.mtime);
    // Files of one directory often share their second; the conversion is
    // the same for the same second.
    thread_local std::time_t lastTime = 0;
    thread_local std::tm lastTm{};
    thread_local bool lastOk = false;
    thread_local bool known = false;
    if (!known || t != lastTime) {
        lastTm = std::tm{};
        lastOk = ::localtime_r(&t, &lastTm) != nullptr;
        lastTime = t;
        known = true;
    }
    const std::tm& tm = lastTm;
    if (lastOk) {
        const long long year = static_cast<long long>(tm.tm_year) + 1900;
        if (year >= 1 && year <= 9999)
            v.date = xb::dateToJdn(static_cast<int>(year), tm.tm_mon + 1, tm.tm_mday);
        char buf[8];
        std::snprintf(buf, sizeof buf, "%02d:%02d", tm.tm_hour, tm.tm_min);
        v.time = buf;
    }
    return v;
}

QString releasedCountText(int count) {
    return QStringLiteral("Bearbeitet: %1 Datensätze").arg(count);
}

QString skippedText(int skipped) {
    if (skipped <= 0) return {};
    if (skipped == 1) return QStringLiteral("1 Ordner konnte nicht gelesen werden");
    return QStringLiteral("%1 Ordner konnten nicht gelesen werden").arg(skipped);
}

void requireEntryNumber(int n) {
    if (n < 1 || n > kHighestEntryNumber)
        throw Error(ErrorCode::InvalidArgument,
                    utf8(QStringLiteral("Die Eintragsnummer %1 liegt nicht zwischen 1 und %2")
                             .arg(n)
                             .arg(kHighestEntryNumber)));
}

// ---- releasing ---------------------------------------------------------------------------

int releaseFileRecords(CatalogueSession& session, int n,
                       const std::function<void(int count)>& counted) {
    requireEntryNumber(n);
    TTable& files = session.table(CatalogueTable::Files);
    TApollo& apollo = session.apollo(CatalogueTable::Files);
    xb::Table& t = fileEngine(files);
    ScopedEngineSwitches switches;
    switches.setSoftSeek(false);
    // The first tag reaches every record of the entry: selecting it lifts a
    // range the file list may have set for another entry.
    apollo.sx_SetOrder(tagPosition(CatalogueTable::Files, QStringLiteral("dirnumm")));
    const int num = fieldOf(t, "dirnumm");
    const int memo = fieldOf(t, "dirmemo");
    const std::string key = entryKey(n);
    int count = 0;
    const std::vector<std::uint32_t> records = t.index().seekRun(key);
    if (!records.empty()) {
        BulkChanges bulk(t, records.size());
        DiscardOnError guard(t);
        for (const std::uint32_t recno : records) {
            t.go(recno);
            t.replaceNumber(num, kReleasedEntryNumber);
            // The full name belongs to the file, not to the free record.
            if (t.memoWritten(memo)) t.replaceBlank(memo);
            t.commitRecord();
            ++count;
            if (counted) counted(count);
        }
        bulk.finish();
        // Past the entry's records, as a seek that finds none leaves it.
        t.index().seek(key);
    }
    files.Refresh();
    return count;
}

// ---- before a reading --------------------------------------------------------------------

int fileRecordCount(CatalogueSession& session, int n) {
    requireEntryNumber(n);
    TTable& files = session.table(CatalogueTable::Files);
    xb::Table& t = fileEngine(files);
    session.apollo(CatalogueTable::Files)
        .sx_SetOrder(tagPosition(CatalogueTable::Files, QStringLiteral("dirnumm")));
    return static_cast<int>(t.index().seekRun(entryKey(n)).size());
}

bool rootHoldsFiles(const QString& root, const ReadingOptions& options, DirectorySource* source) {
    if (root.isEmpty()) return false;
    PosixDirectorySource posix;
    CarrierWalker walker(source ? *source : posix);
    bool found = false;
    walker.walk(
        QFile::encodeName(root).toStdString(), !options.subdirectories, [](const std::string&) {},
        [&](const WalkedFile&) {
            found = true;
            walker.stop();
        });
    return found;
}

bool extensionListEmpty(CatalogueSession& session) {
    TTable& extensions = session.table(CatalogueTable::Extensions);
    std::optional<ScopedClose> close;
    if (!extensions.Active()) {
        extensions.Open();
        close.emplace(extensions);
    }
    extensions.CheckBrowseMode();
    xb::Table* t = extensions.engine();
    bool empty = true;
    std::string rec(t->recordLength(), ' ');
    t->index().walkTagUnfiltered(tagPosition(CatalogueTable::Extensions, QStringLiteral("endung1")),
                                 false, [&](std::uint32_t recno) {
                                     t->readRecordAt(recno,
                                                     reinterpret_cast<std::uint8_t*>(rec.data()));
                                     if (rec[0] == '*') return true;
                                     empty = false;
                                     return false;
                                 });
    return empty;
}

std::uint64_t rootDevice(const QString& root, DirectorySource* source) {
    if (root.isEmpty()) return 0;
    PosixDirectorySource posix;
    DirEntry id;
    if (!(source ? *source : posix).identify(QFile::encodeName(root).toStdString(), id)) return 0;
    return id.device;
}

QString emptyCarrierQuestion(int files) {
    return QStringLiteral(
               "Der gewählte Datenträger enthält keine Dateien. Trotzdem einlesen und "
               "die bisherige Dateiliste (%1 Dateien) freigeben?")
        .arg(files);
}

QString unmountedCarrierQuestion(int files) {
    return QStringLiteral(
               "Der gewählte Datenträger ist nicht mehr eingehängt. Trotzdem einlesen "
               "und die bisherige Dateiliste (%1 Dateien) freigeben?")
        .arg(files);
}

QString noExtensionsQuestion() {
    return QStringLiteral(
        "Es sind keine Einlese-Endungen definiert: mit \"nur definierte "
        "Endungen\" würde keine Datei eingelesen.\n\nAlle Endungen einlesen?");
}

// ---- reading -----------------------------------------------------------------------------

namespace {

// Thrown out of the walk when the user pressed "Abbrechen".
struct ReadingCancelled {};

// Offers the progress window's "Abbrechen" button while it lives.
class CancelOffer {
  public:
    explicit CancelOffer(ProgressDisplay& d) : m_d(d) { m_d.offerCancel(true); }
    ~CancelOffer() { m_d.offerCancel(false); }
    CancelOffer(const CancelOffer&) = delete;
    CancelOffer& operator=(const CancelOffer&) = delete;

  private:
    ProgressDisplay& m_d;
};

// Settles the journal of a reading that failed or was cancelled: its staged
// records are released, the previous list stays. When that fails in place
// (a write that failed left the table's files behind its state in memory),
// the table is closed and opened again, which repairs what the failure
// left, and settled then. False when even that failed: the journal stays
// for the next start.
bool settleAfterFailure(TTable& files, const QString& journal, const ReadingJournal& state,
                        bool writeFailed) {
    // After a failed write the index on disk may lag behind the one in
    // memory: only opening the table again brings them together.
    if (!writeFailed) {
        try {
            settleReading(files, journal, state);
            return true;
        } catch (...) {
        }
    }
    try {
        files.Close();
    } catch (...) {
    }
    try {
        files.Open();
        settleReading(files, journal, state);
        return true;
    } catch (...) {
        return false;
    }
}

// Puts the file table back as it was before the walk (WalkUndo); false
// when there is nothing to go back to or that failed too. Unless `always`
// (a write failed), only when that is quicker than releasing the staged
// records one by one: it builds the whole index again, which costs about
// as much as changing an eighth of the records through it.
bool takeBackWalk(TTable& files, const WalkUndo& undo, bool always) {
    if (!undo.point || !files.Active()) return false;
    try {
        if (!always) {
            const std::uint64_t total = files.engine()->recCount();
            const std::uint64_t appended =
                total > undo.point->count ? total - undo.point->count : 0;
            if ((appended + undo.reused.size()) * 8 < total) return false;
        }
        files.engine()->takeBack(*undo.point, undo.reused);
        return true;
    } catch (...) {
        return false;
    }
}

// Releases the previous list of entry `n` (`previous`) and gives the staged
// records (`staged`) its number, inside the batch of the walk that stored
// them, so that the tags take every change of the reading at once when it
// ends; the journal names each stage before its first record changes.
void swapFileLists(xb::Table& t, int n, const QString& journal, ScopedProgress& progress,
                   const std::vector<std::uint32_t>& previous,
                   const std::vector<std::uint32_t>& staged, ReadingResult& result) {
    const int num = fieldOf(t, "dirnumm");
    DiscardOnError guard(t);
    writeReadingJournal(journal, {n, ReadingStage::Releasing});
    CountDisplay counts(progress);
    for (const std::uint32_t recno : previous) {
        t.go(recno);
        t.replaceNumber(num, kReleasedEntryNumber);
        t.commitRecord();
        counts.count(++result.released);
    }
    counts.finish();
    writeReadingJournal(journal, {n, ReadingStage::Renaming});
    for (const std::uint32_t recno : staged) {
        t.go(recno);
        t.replaceNumber(num, n);
        t.commitRecord();
    }
}

[[noreturn]] void rethrowWith(const std::exception_ptr& failure, const std::string& addition) {
    try {
        std::rethrow_exception(failure);
    } catch (const Error& e) {
        throw Error(e.code(), e.text() + addition, e.file(), e.record(), e.page());
    }
    std::rethrow_exception(failure);  // not an Error: as it was
}

}  // namespace

ReadingResult readCarrier(CatalogueSession& session, int n, const QString& root,
                          const ReadingOptions& options, ProgressDisplay& display,
                          DirectorySource* source) {
    requireEntryNumber(n);
    PosixDirectorySource posix;
    DirectorySource& dirs = source ? *source : posix;
    CarrierWalker walker(dirs);
    const std::string rootBytes = QFile::encodeName(root).toStdString();
    if (root.isEmpty() || !walker.rootReadable(rootBytes))
        throw Error(ErrorCode::IoError,
                    utf8(QStringLiteral("Der Datenträger \"%1\" kann nicht gelesen werden (kein "
                                        "Medium eingelegt?); die Dateien des Eintrags bleiben "
                                        "unverändert")
                             .arg(root)));

    ReadingResult result;
    TTable& files = session.table(CatalogueTable::Files);
    TApollo& fileApollo = session.apollo(CatalogueTable::Files);
    TTable& extensions = session.table(CatalogueTable::Extensions);
    const QString journal = readingJournalPath(session.dm());
    // A reading cut short before is settled first (the start-up check
    // normally has done so).
    if (const std::optional<ReadingJournal> left = readReadingJournal(journal))
        settleReading(files, journal, *left);

    display.setLine1(QStringLiteral("Einlesen Datenträger"));
    display.setLine2(QString());
    ScopedProgress progress(display);

    // The walk: the new list under the staging number, the previous one
    // untouched (readingjournal.h); for an entry without files straight
    // under its number, since there is nothing to swap.
    fileApollo.sx_SetOrder(tagPosition(CatalogueTable::Files, QStringLiteral("dirnumm")));
    const std::vector<std::uint32_t> previous = fileEngine(files).index().seekRun(entryKey(n));
    const bool adding = previous.empty();
    const ReadingJournal walking{n, adding ? ReadingStage::Adding : ReadingStage::Storing};
    writeReadingJournal(journal, walking);
    WalkUndo undo;
    // Its batch lasts from the walk to the end of the swap.
    std::optional<FileStore> store;
    try {
        ScopedEngineSwitches switches;
        ScopedClose closeExtensions(extensions);
        xb::Table* extensionEngine = nullptr;
        if (options.definedExtensionsOnly) {
            extensions.Open();
            session.apollo(CatalogueTable::Extensions)
                .sx_SetOrder(tagPosition(CatalogueTable::Extensions, QStringLiteral("endung1")));
            switches.setExact(true);
            extensionEngine = extensions.engine();
        }

        // The first tag finds the released records, whatever order and
        // range the file list had.
        fileApollo.sx_SetOrder(tagPosition(CatalogueTable::Files, QStringLiteral("dirnumm")));
        fileApollo.sx_SetScope(QString(), QString());
        fileApollo.sx_GoTop();
        undo.point = files.engine()->takeBackPoint();

        CancelOffer cancel(display);
        store.emplace(files, adding ? n : kStagedEntryNumber, undo, previous.size() * 2);
        ExtensionFilter filter(extensionEngine);
        display.setLine1(QStringLiteral("Einlesen von Verzeichnis..."));
        bool first = true;
        walker.walk(
            rootBytes, !options.subdirectories,
            [&](const std::string& path) {
                if (display.cancelRequested()) throw ReadingCancelled{};
                if (first) {
                    first = false;
                    progress.detail(QFile::decodeName(QByteArray::fromStdString(path)));
                } else {
                    progress.detailLazy(
                        [&] { return QFile::decodeName(QByteArray::fromStdString(path)); });
                }
            },
            [&](const WalkedFile& f) {
                if (display.cancelRequested()) throw ReadingCancelled{};
                if (!filter.takes(f.name)) return;
                store->store(fileRecordValues(f));
            });
        // The staged records are in the file before the swap begins: a
        // full disk stops the walk, not the swap, and a kill in the swap
        // leaves every staged record for the next start to complete with.
        fileEngine(files).writeHeldAppends();
        result.stored = store->stored();
        result.reused = store->reused();
        result.skipped = walker.skipped();
        switches.setExact(false);
        closeExtensions.closeNow();
    } catch (const ReadingCancelled&) {
        // Many staged records go whole, without a pass through the index.
        const bool takenBack = takeBackWalk(files, undo, false);
        store.reset();
        if (!settleAfterFailure(files, journal, walking, false) && !takenBack)
            throw Error(ErrorCode::IoError,
                        "Das Einlesen wurde abgebrochen; die bisherige Dateiliste des Eintrags "
                        "wird beim nächsten Start wiederhergestellt");
        files.Refresh();
        ReadingResult cancelled;
        cancelled.cancelled = true;
        return cancelled;
    } catch (const Error& e) {
        const std::exception_ptr failure = std::current_exception();
        // The file table is put back as it was before the walk, which needs
        // no room (a full disk), instead of releasing the staged records
        // through an index that may lag behind a write that failed.
        const bool takenBack = takeBackWalk(files, undo, e.code() == ErrorCode::IoError);
        store.reset();
        if (settleAfterFailure(files, journal, walking,
                               e.code() == ErrorCode::IoError && !takenBack))
            rethrowWith(failure, "; die bisherige Dateiliste des Eintrags ist unverändert");
        rethrowWith(failure,
                    "; die bisherige Dateiliste des Eintrags wird beim nächsten Start "
                    "wiederhergestellt");
    } catch (...) {
        takeBackWalk(files, undo, false);
        store.reset();
        settleAfterFailure(files, journal, walking, false);
        throw;
    }

    // The swap: the previous records released, the new ones renamed; from
    // here on the reading is completed, also after a failure or a kill.
    progress.phase(QStringLiteral("Löschen der bisherigen Einträge..."));
    try {
        if (!adding)
            swapFileLists(fileEngine(files), n, journal, progress, previous, store->records(),
                          result);
        progress.phase(QStringLiteral("Abspeichern der Daten..."));
        store->finish();
        store.reset();
        // Where the renaming left the table before: past the staged records.
        fileEngine(files).index().seek(entryKey(kStagedEntryNumber));
        files.engine()->flush();
        removeReadingJournal(journal);
    } catch (const Error& e) {
        const std::exception_ptr failure = std::current_exception();
        store.reset();
        const std::optional<ReadingJournal> state = readReadingJournal(journal);
        if (!state || settleAfterFailure(files, journal, *state, e.code() == ErrorCode::IoError)) {
            files.Refresh();
            return result;
        }
        rethrowWith(failure, "; das Einlesen wird beim nächsten Start abgeschlossen");
    }
    files.CheckBrowseMode();
    files.Refresh();
    return result;
}

}  // namespace qv
