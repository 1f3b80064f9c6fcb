#include "store/xbase/mem_env.h"

#include <algorithm>
#include <cstring>

#include "store/xbase/error.h"

namespace xb {

struct MemEnv::Node {
    std::vector<std::uint8_t> bytes;
    int sharedLocks = 0;
    bool exclusiveLock = false;
};

namespace {

class MemFile final : public RandomFile {
  public:
    MemFile(std::string path, std::shared_ptr<MemEnv::Node> node, bool exclusive, bool locked,
            bool writable, std::uint64_t limit, std::shared_ptr<long> budget,
            std::shared_ptr<long> done, std::shared_ptr<MemEnv::Disk> disk)
        : RandomFile(std::move(path)),
          node_(std::move(node)),
          exclusive_(exclusive),
          locked_(locked),
          writable_(writable),
          limit_(limit),
          budget_(std::move(budget)),
          done_(std::move(done)),
          disk_(std::move(disk)) {}
    ~MemFile() override {
        if (!locked_) return;
        if (exclusive_)
            node_->exclusiveLock = false;
        else
            --node_->sharedLocks;
    }

    std::size_t readAt(std::uint64_t offset, void* buf, std::size_t n) override {
        const auto& b = node_->bytes;
        if (offset >= b.size()) return 0;
        const std::size_t k =
            static_cast<std::size_t>(std::min<std::uint64_t>(n, b.size() - offset));
        std::memcpy(buf, b.data() + offset, k);
        return k;
    }

    void writeAt(std::uint64_t offset, const void* buf, std::size_t n) override {
        if (!writable_)
            throw fileError("Die Datei", path(), "geschrieben werden", "Zugriff verweigert");
        if (offset + n > limit_) tooBig();
        spendWrite();
        auto& b = node_->bytes;
        const std::uint64_t room = roomUpTo();
        const bool full = offset + n > room;
        if (full) n = offset < room ? static_cast<std::size_t>(room - offset) : 0;
        // A write that stores nothing leaves the file's length alone.
        if (offset + n > b.size() && n > 0) grow(offset + n);
        if (n) std::memcpy(b.data() + offset, buf, n);
        if (full) diskFull();
    }

    std::uint64_t size() override { return node_->bytes.size(); }

    void truncate(std::uint64_t size) override {
        if (size > limit_) tooBig();
        spendWrite();
        if (size > roomUpTo()) diskFull();
        grow(size);
    }

    void sync() override {}

  private:
    void spendWrite() {
        long& b = *budget_;
        if (b == 0)
            throw fileError("Die Datei", path(), "geschrieben werden", "Ein-/Ausgabefehler");
        if (b > 0) --b;
        ++*done_;
    }

    // The size this file may reach before the disk is full.
    std::uint64_t roomUpTo() const {
        const std::uint64_t size = node_->bytes.size();
        if (disk_->capacity == 0) return UINT64_MAX;
        return disk_->capacity > disk_->used ? size + (disk_->capacity - disk_->used) : size;
    }
    // Resizes the file (either way), keeping the disk's count.
    void grow(std::uint64_t size) {
        const std::uint64_t old = node_->bytes.size();
        disk_->used = disk_->used + size >= old ? disk_->used + size - old : 0;
        node_->bytes.resize(static_cast<std::size_t>(size));
    }
    [[noreturn]] void diskFull() {
        throw fileError("Die Datei", path(), "geschrieben werden",
                        "kein Platz mehr auf dem Datenträger");
    }

    [[noreturn]] void tooBig() {
        throw fileError("Die Datei", path(), "geschrieben werden",
                        "kein Platz mehr auf dem Datenträger");
    }

    std::shared_ptr<MemEnv::Node> node_;
    bool exclusive_;
    bool locked_;
    bool writable_;
    std::uint64_t limit_;
    std::shared_ptr<long> budget_;
    std::shared_ptr<long> done_;
    std::shared_ptr<MemEnv::Disk> disk_;
};

}  // namespace

std::thread MemEnv::startThread(std::function<void()> fn) {
    ++threadsStarted_;
    if (!threadsInline_) return Env::startThread(std::move(fn));
    fn();
    return {};
}

std::unique_ptr<RandomFile> MemEnv::open(const std::string& path, FileAccess access) {
    auto it = files_.find(path);
    if (it == files_.end()) throw fileNotFound(path);
    Node& n = *it->second;
    const bool exclusive = access == FileAccess::WriteExclusive;
    const bool locked = access == FileAccess::ReadShared || exclusive;
    const bool writable = exclusive || access == FileAccess::WriteUnlocked;
    if (locked) {
        if (n.exclusiveLock || (exclusive && n.sharedLocks > 0)) throw fileLocked(path);
        if (exclusive)
            n.exclusiveLock = true;
        else
            ++n.sharedLocks;
    }
    return std::make_unique<MemFile>(path, it->second, exclusive, locked, writable, sizeLimit_,
                                     budget_, done_, disk_);
}

std::unique_ptr<RandomFile> MemEnv::create(const std::string& path) {
    auto& slot = files_[path];
    if (!slot) slot = std::make_shared<Node>();
    if (slot->exclusiveLock || slot->sharedLocks > 0) throw fileLocked(path);
    spend(path, "angelegt");
    disk_->used -= slot->bytes.size();
    slot->bytes.clear();
    slot->exclusiveLock = true;
    return std::make_unique<MemFile>(path, slot, true, true, true, sizeLimit_, budget_, done_,
                                     disk_);
}

bool MemEnv::exists(const std::string& path) {
    return files_.count(path) != 0;
}

void MemEnv::setFile(const std::string& path, std::vector<std::uint8_t> bytes) {
    auto& slot = files_[path];
    if (!slot) slot = std::make_shared<Node>();
    disk_->used = disk_->used - slot->bytes.size() + bytes.size();
    slot->bytes = std::move(bytes);
}

std::vector<std::uint8_t> MemEnv::fileBytes(const std::string& path) const {
    auto it = files_.find(path);
    return it == files_.end() ? std::vector<std::uint8_t>() : it->second->bytes;
}

void MemEnv::spend(const std::string& path, const char* action) {
    if (*budget_ == 0)
        throw fileError("Die Datei", path, std::string(action) + " werden", "Ein-/Ausgabefehler");
    if (*budget_ > 0) --*budget_;
    ++*done_;
}

void MemEnv::rename(const std::string& from, const std::string& to) {
    auto it = files_.find(from);
    if (it == files_.end())
        throw fileError("Die Datei", from, "umbenannt werden",
                        "Datei oder Verzeichnis nicht vorhanden");
    if (from == to) return;
    spend(from, "umbenannt");
    std::shared_ptr<Node> node = it->second;
    files_.erase(it);
    auto& slot = files_[to];
    if (slot) disk_->used -= slot->bytes.size();
    slot = std::move(node);
}

void MemEnv::remove(const std::string& path) {
    if (files_.count(path) == 0) return;
    spend(path, "gelöscht");
    disk_->used -= files_[path]->bytes.size();
    files_.erase(path);
}

std::vector<std::string> MemEnv::fileNames() const {
    std::vector<std::string> names;
    for (const auto& [name, node] : files_)
        names.push_back(name);
    return names;
}

}  // namespace xb
