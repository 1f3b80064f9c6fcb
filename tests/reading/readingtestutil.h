// Helpers of the reading tests: generated trees, a catalogue session on a
// test catalogue, the file table's records, a recording progress display and
// a directory source that tests script.
#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "reading/core/carrierwalk.h"
#include "store/displays.h"
#include "store/xbase/settings.h"
#include "support/testutil.h"

namespace rt {

namespace fs = std::filesystem;

// Creates a file of `size` bytes (sparse beyond its first bytes) with the
// last-write time `mtime` (seconds since the epoch; 0 leaves it as it is).
void makeFile(const fs::path& p, std::int64_t size = 0, std::int64_t mtime = 0);
// The epoch seconds of a local date and time.
std::int64_t localTime(int year, int month, int day, int hour, int minute, int second = 0);
// The names of a directory in the order the file system lists them.
std::vector<std::string> listingOrder(const fs::path& dir);

struct FileRecord {
    int recno = 0;
    int owner = 0;
    QString path;
    QString name;
    QString ext;
    qint64 size = 0;
    QDate date;
    QString time;
};

// Every record of the file table in record order (released ones included).
std::vector<FileRecord> fileRecords(qv::CatalogueSession& s);
// The records of one entry, in record order.
std::vector<FileRecord> recordsOf(qv::CatalogueSession& s, int owner);

// A test catalogue with `entries` numbered entries and its entry and file
// tables open in a session.
class Catalogue {
  public:
    explicit Catalogue(const fs::path& dir, int entries = 3);
    ~Catalogue();
    qv::CatalogueSession& session() { return *m_session; }
    TDM& dm() { return *m_dm; }
    // Appends extension rows (keys as typed) and closes the table again.
    void addExtensions(const QStringList& keys);
    // Closes every table (for the independent index check).
    void closeAll();

    fs::path dir;

  private:
    xb::SettingsGuard m_settings;
    std::unique_ptr<TDM> m_dm;
    std::unique_ptr<qv::CatalogueSession> m_session;
};

// The faults the independent checks find in the catalogue's tables.
std::vector<std::string> indexFaults(const fs::path& dir);

class RecordingProgress : public qv::ProgressDisplay {
  public:
    void setLine1(const QString& text) override { line1.push_back(text); }
    void setLine2(const QString& text) override { line2.push_back(text); }
    void showProgress() override {
        ++shows;
        visible = true;
    }
    void closeProgress() override {
        ++closes;
        visible = false;
    }
    QStringList line1;
    QStringList line2;
    int shows = 0;
    int closes = 0;
    bool visible = false;
};

// Directories as a test describes them: path -> entries; identities by path.
class ScriptedSource : public qv::DirectorySource {
  public:
    void addDirectory(const std::string& path, std::uint64_t device, std::uint64_t inode);
    void addFile(const std::string& dir, const std::string& name, std::int64_t size,
                 std::int64_t mtime);
    // A subdirectory entry of `dir` with the given identity (listed, whether
    // or not it can be read).
    void addSubdirectory(const std::string& dir, const std::string& name, std::uint64_t device,
                         std::uint64_t inode);
    std::set<std::string> unreadable;
    std::string failAt;  // listing this path raises an error

    bool identify(const std::string& path, qv::DirEntry& out) override;
    bool list(const std::string& path,
              const std::function<void(const qv::DirEntry&)>& each) override;

  private:
    std::map<std::string, qv::DirEntry> m_ids;
    std::map<std::string, std::vector<qv::DirEntry>> m_entries;
};

}  // namespace rt
