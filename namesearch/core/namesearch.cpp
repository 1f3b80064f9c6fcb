#include "namesearch/core/namesearch.h"

#include <chrono>
#include <cstdio>
#include <filesystem>

#include "namesearch/core/filetableimage.h"
#include "store/xbase/count_store.h"

namespace qv {

namespace {

namespace fs = std::filesystem;

std::mutex& folderMutex() {
    static std::mutex m;
    return m;
}

std::string& folderOverride() {
    static std::string f;
    return f;
}

std::uint64_t fnv1a(const std::string& s) {
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (const unsigned char c : s) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return h;
}

}  // namespace

std::string normalCatalogueFolder(const std::string& dir) {
    std::error_code ec;
    fs::path p = fs::weakly_canonical(fs::absolute(fs::path(dir), ec), ec);
    std::string s = (ec ? fs::path(dir) : p).string();
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

void setNameIndexFolder(std::string folder) {
    const std::lock_guard<std::mutex> lock(folderMutex());
    folderOverride() = std::move(folder);
}

std::string nameIndexFile(const std::string& dir) {
    std::string folder;
    {
        const std::lock_guard<std::mutex> lock(folderMutex());
        folder = folderOverride();
    }
    if (folder.empty()) {
        const std::string counts = xb::countCacheFolder();
        if (counts.empty()) return {};
        folder = (fs::path(counts).parent_path() / "names").string();
    }
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.names",
                  static_cast<unsigned long long>(fnv1a(normalCatalogueFolder(dir))));
    return (fs::path(folder) / name).string();
}

NameIndexKeeper::NameIndexKeeper(const std::string& dir)
    : m_dir(normalCatalogueFolder(dir)), m_file(nameIndexFile(dir)) {}

NameIndexKeeper::~NameIndexKeeper() {
    m_cancel = true;
    if (m_thread.joinable()) m_thread.join();
}

std::shared_ptr<const NameIndex> NameIndexKeeper::current(const std::string& stamp) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_index && !m_index->damaged() && m_index->stamp() == stamp) return m_index;
    return nullptr;
}

std::shared_ptr<const NameIndex> NameIndexKeeper::fresh() {
    const std::string stamp = FileTableImage::stampOf(m_dir);
    if (auto index = current(stamp)) return index;
    if (m_running.load()) return nullptr;
    if (m_thread.joinable()) m_thread.join();
    m_cancel = false;
    m_progress = 0;
    m_running = true;
    m_thread = std::thread([this, stamp] { job(stamp); });
    return nullptr;
}

std::shared_ptr<const NameIndex> NameIndexKeeper::waitForBuild(
    const std::function<void(int)>& tick) {
    while (m_running.load()) {
        if (tick) tick(m_progress.load());
        std::unique_lock<std::mutex> lock(m_mutex);
        m_done.wait_for(lock, std::chrono::milliseconds(tick ? 20 : 200),
                        [&] { return !m_running.load(); });
    }
    if (m_thread.joinable()) m_thread.join();
    return current(FileTableImage::stampOf(m_dir));
}

void NameIndexKeeper::job(std::string stamp) {
    std::shared_ptr<const NameIndex> made;
    bool built = false;
    try {
        if (!m_file.empty()) {
            std::unique_ptr<NameIndex> saved = NameIndex::load(m_file, m_dir);
            if (saved && saved->stamp() == stamp) made = std::move(saved);
        }
        if (!made) {
            FileTableImage image(m_dir);
            image.readMemoFile();
            made = NameIndex::build(
                image, 2, [this](int p) { m_progress = p; }, &m_cancel);
            built = made != nullptr;
        }
    } catch (...) {
        // A table that cannot be read leaves no index; the search reads the
        // table itself and reports what is wrong with it.
    }
    {
        // The index serves from here on; saving it goes on behind.
        const std::lock_guard<std::mutex> lock(m_mutex);
        if (made) m_index = made;
        m_progress = 100;
    }
    m_done.notify_all();
    if (built) m_saved = !m_file.empty() && made->save(m_file);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
    }
    m_done.notify_all();
}

}  // namespace qv
