#include "reading/carrierreading.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <exception>
#include <optional>
#include <unordered_map>

#include "store/cataloguesession.h"
#include "store/displays.h"
#include "store/dm.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"

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
// order on the engine meanwhile, so that no commit has to find the record's
// place in a tag again, and the records and index pages written in batches.
// finish() writes the last batch and brings the tag back; after an error the
// end of the scope does. The callers have lifted the tag's range before.
class BulkChanges {
  public:
    explicit BulkChanges(xb::Table& t) : m_t(t), m_order(t.order()) {
        m_t.setOrder(0);
        m_t.beginBatch();
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
        step([&] { m_t.setOrder(m_order); });
        if (failure) std::rethrow_exception(failure);
    }
    BulkChanges(const BulkChanges&) = delete;
    BulkChanges& operator=(const BulkChanges&) = delete;

  private:
    xb::Table& m_t;
    int m_order;
    bool m_finished = false;
};

// Writes the taken files into the file table: a released record when there
// is one, else a new one. Works on the engine directly while the file view
// is suspended; the table object is told once at the end.
class FileStore {
  public:
    FileStore(TTable& files, int n) : m_t(fileEngine(files)), m_number(n) {
        m_num = fieldOf(m_t, "dirnumm");
        m_path = fieldOf(m_t, "dirpfad");
        m_name = fieldOf(m_t, "dirname");
        m_ext = fieldOf(m_t, "direndung");
        m_size = fieldOf(m_t, "dirsize");
        m_date = fieldOf(m_t, "dirdate");
        m_time = fieldOf(m_t, "dirtime");
    }

    void store(const FileRecordValues& v) {
        if (!m_bulk) {
            // Nothing releases records while a reading stores, so the
            // released records are known at the first file, in the order one
            // seek per file would find them.
            m_free = m_t.seekRun(entryKey(kReleasedEntryNumber));
            m_bulk.emplace(m_t);
        }
        DiscardOnError guard(m_t);
        if (m_nextFree < m_free.size()) {
            m_t.go(m_free[m_nextFree++]);
            ++m_reused;
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
        m_t.commitRecord();
        ++m_stored;
    }
    // The file table's order as it was, on the last record stored.
    void finish() {
        if (m_bulk) m_bulk->finish();
    }
    int stored() const { return m_stored; }
    int reused() const { return m_reused; }

  private:
    xb::Table& m_t;
    double m_number;
    int m_num, m_path, m_name, m_ext, m_size, m_date, m_time;
    std::vector<std::uint32_t> m_free;
    std::size_t m_nextFree = 0;
    std::optional<BulkChanges> m_bulk;
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
        const bool found = m_t->seek(key) && !m_t->eof();
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
    TTable& files = session.table(CatalogTable::Files);
    TApollo& apollo = session.apollo(CatalogTable::Files);
    xb::Table& t = fileEngine(files);
    ScopedEngineSwitches switches;
    switches.setSoftSeek(false);
    // The first tag reaches every record of the entry: selecting it lifts a
    // range the file list may have set for another entry.
    apollo.sx_SetOrder(tagPosition(CatalogTable::Files, QStringLiteral("dirnumm")));
    const int num = fieldOf(t, "dirnumm");
    const std::string key = entryKey(n);
    int count = 0;
    const std::vector<std::uint32_t> records = t.seekRun(key);
    if (!records.empty()) {
        BulkChanges bulk(t);
        DiscardOnError guard(t);
        for (const std::uint32_t recno : records) {
            t.go(recno);
            t.replaceNumber(num, kReleasedEntryNumber);
            t.commitRecord();
            ++count;
            if (counted) counted(count);
        }
        bulk.finish();
        // Past the entry's records, as a seek that finds none leaves it.
        t.seek(key);
    }
    files.Refresh();
    return count;
}

// ---- before a reading --------------------------------------------------------------------

int fileRecordCount(CatalogueSession& session, int n) {
    requireEntryNumber(n);
    TTable& files = session.table(CatalogTable::Files);
    xb::Table& t = fileEngine(files);
    session.apollo(CatalogTable::Files)
        .sx_SetOrder(tagPosition(CatalogTable::Files, QStringLiteral("dirnumm")));
    return static_cast<int>(t.seekRun(entryKey(n)).size());
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
    TTable& extensions = session.table(CatalogTable::Extensions);
    std::optional<ScopedClose> close;
    if (!extensions.Active()) {
        extensions.Open();
        close.emplace(extensions);
    }
    extensions.CheckBrowseMode();
    xb::Table* t = extensions.engine();
    bool empty = true;
    std::string rec(t->recordLength(), ' ');
    t->walkTagUnfiltered(tagPosition(CatalogTable::Extensions, QStringLiteral("endung1")), false,
                         [&](std::uint32_t recno) {
                             t->readRecordAt(recno, reinterpret_cast<std::uint8_t*>(rec.data()));
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
    TTable& files = session.table(CatalogTable::Files);
    TApollo& fileApollo = session.apollo(CatalogTable::Files);
    TTable& extensions = session.table(CatalogTable::Extensions);

    display.setLine1(QStringLiteral("Einlesen Datenträger"));
    display.setLine2(QString());
    ScopedProgress progress(display);
    progress.phase(QStringLiteral("Löschen der bisherigen Einträge..."));
    {
        CountDisplay counts(progress);
        result.released = releaseFileRecords(session, n, [&](int k) { counts.count(k); });
        counts.finish();
    }

    ScopedEngineSwitches switches;
    ScopedClose closeExtensions(extensions);
    xb::Table* extensionEngine = nullptr;
    if (options.definedExtensionsOnly) {
        extensions.Open();
        session.apollo(CatalogTable::Extensions)
            .sx_SetOrder(tagPosition(CatalogTable::Extensions, QStringLiteral("endung1")));
        switches.setExact(true);
        extensionEngine = extensions.engine();
    }

    fileApollo.sx_SetScope(QString(), QString());
    fileApollo.sx_GoTop();

    {
        FileStore store(files, n);
        ExtensionFilter filter(extensionEngine);
        display.setLine1(QStringLiteral("Einlesen von Verzeichnis..."));
        bool first = true;
        walker.walk(
            rootBytes, !options.subdirectories,
            [&](const std::string& path) {
                if (first) {
                    first = false;
                    progress.detail(QFile::decodeName(QByteArray::fromStdString(path)));
                } else {
                    progress.detailLazy(
                        [&] { return QFile::decodeName(QByteArray::fromStdString(path)); });
                }
            },
            [&](const WalkedFile& f) {
                if (!filter.takes(f.name)) return;
                store.store(fileRecordValues(f));
            });
        store.finish();
        result.stored = store.stored();
        result.reused = store.reused();
    }

    progress.phase(QStringLiteral("Abspeichern der Daten..."));
    switches.setExact(false);
    closeExtensions.closeNow();
    files.CheckBrowseMode();
    files.Refresh();
    return result;
}

}  // namespace qv
