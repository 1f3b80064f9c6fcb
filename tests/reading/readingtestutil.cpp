#include "readingtestutil.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#include <stdexcept>

#include "catalogue/catalogueschema.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/table_check.h"
#include "support/catalogue/cataloguebuilder.h"

namespace rt {

void makeFile(const fs::path& p, std::int64_t size, std::int64_t mtime) {
    const int fd = ::open(p.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + p.string());
    if (size > 0 && ::ftruncate(fd, size) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot size " + p.string());
    }
    ::close(fd);
    if (mtime != 0) {
        struct timespec ts[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
        if (::utimensat(AT_FDCWD, p.c_str(), ts, 0) != 0)
            throw std::runtime_error("cannot set the time of " + p.string());
    }
}

std::int64_t localTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

std::vector<std::string> listingOrder(const fs::path& dir) {
    std::vector<std::string> out;
    DIR* d = ::opendir(dir.c_str());
    if (!d) return out;
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n != "." && n != "..") out.push_back(n);
    }
    ::closedir(d);
    return out;
}

std::vector<FileRecord> fileRecords(qv::CatalogueSession& s) {
    TTable& t = s.table(qv::CatalogueTable::Files);
    TApollo& a = s.apollo(qv::CatalogueTable::Files);
    const int order = a.sx_IndexOrd();
    a.sx_SetOrder(0);
    std::vector<FileRecord> out;
    for (t.First(); !t.Eof(); t.Next()) {
        FileRecord r;
        r.recno = t.RecNo();
        r.owner = t.FieldByName("DIRNUMM").AsInteger();
        r.path = t.FieldByName("DIRPFAD").AsString().trimmed();
        r.name = t.FieldByName("DIRNAME").AsString();
        while (r.name.endsWith(' '))
            r.name.chop(1);
        r.ext = t.FieldByName("DIRENDUNG").AsString();
        r.size = t.FieldByName("DIRSIZE").AsLargeInt();
        r.date = t.FieldByName("DIRDATE").AsDate();
        r.time = t.FieldByName("DIRTIME").AsString();
        out.push_back(r);
    }
    a.sx_SetOrder(order);
    return out;
}

std::vector<FileRecord> recordsOf(qv::CatalogueSession& s, int owner) {
    std::vector<FileRecord> out;
    for (const FileRecord& r : fileRecords(s))
        if (r.owner == owner) out.push_back(r);
    return out;
}

Catalogue::Catalogue(const fs::path& d, int entries) : dir(d) {
    if (!fs::exists(dir / "_qvdisk.dbf")) qvtest::createCatalogue(dir);
    if (entries > 0) qvtest::addEntries(dir, qvtest::numberedEntries(entries));
    m_dm = std::make_unique<TDM>(QString::fromStdString(dir.string()));
    m_session = std::make_unique<qv::CatalogueSession>(*m_dm);
    m_dm->table(qv::CatalogueTable::Entries).Open();
    m_dm->table(qv::CatalogueTable::Files).Open();
    m_session->apollo(qv::CatalogueTable::Entries).sx_SetOrder(1);
    m_session->apollo(qv::CatalogueTable::Files).sx_SetOrder(1);
}

Catalogue::~Catalogue() {
    m_session.reset();
    m_dm.reset();
}

void Catalogue::addExtensions(const QStringList& keys) {
    TTable& t = m_dm->table(qv::CatalogueTable::Extensions);
    t.Open();
    for (const QString& k : keys) {
        t.Append();
        t.FieldByName("ENDUNG").setAsString(k);
        t.FieldByName("BEZEICH").setAsString(QStringLiteral("Endung ") + k);
        t.Post();
    }
    t.Close();
}

void Catalogue::closeAll() {
    for (qv::CatalogueTable t : qv::kTableOrder)
        m_dm->table(t).Close();
}

std::vector<std::string> indexFaults(const fs::path& dir) {
    std::vector<std::string> out;
    for (qv::CatalogueTable t : qv::kTableOrder) {
        const fs::path p = dir / qv::catalogueTable(t).dataFile.toStdString();
        for (const std::string& f : xb::checkTableFile(p.string()))
            out.push_back(p.filename().string() + ": " + f);
    }
    return out;
}

// ---- scripted directories ----------------------------------------------------------------

void ScriptedSource::addDirectory(const std::string& path, std::uint64_t device,
                                  std::uint64_t inode) {
    qv::DirEntry e;
    e.kind = qv::DirEntry::Directory;
    e.device = device;
    e.inode = inode;
    m_ids[path] = e;
    m_entries[path];
}

void ScriptedSource::addFile(const std::string& dir, const std::string& name, std::int64_t size,
                             std::int64_t mtime) {
    qv::DirEntry e;
    e.name = name;
    e.kind = qv::DirEntry::File;
    e.size = size;
    e.mtime = mtime;
    m_entries[dir].push_back(e);
}

void ScriptedSource::addSubdirectory(const std::string& dir, const std::string& name,
                                     std::uint64_t device, std::uint64_t inode) {
    qv::DirEntry e;
    e.name = name;
    e.kind = qv::DirEntry::Directory;
    e.device = device;
    e.inode = inode;
    m_entries[dir].push_back(e);
}

bool ScriptedSource::identify(const std::string& path, qv::DirEntry& out) {
    auto it = m_ids.find(path);
    if (it == m_ids.end()) return false;
    out = it->second;
    return true;
}

bool ScriptedSource::list(const std::string& path,
                          const std::function<void(const qv::DirEntry&)>& each) {
    if (path == failAt) throw qv::Error(qv::ErrorCode::IoError, "Lesefehler in " + path);
    if (unreadable.count(path)) return false;
    auto it = m_entries.find(path);
    if (it == m_entries.end()) return false;
    for (const qv::DirEntry& e : it->second)
        each(e);
    return true;
}

}  // namespace rt
