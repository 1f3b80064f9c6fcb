// Bulk builds that reach the file: placing an assembled tree in its tag
// (NsxTag::build, NsxTag::install, NsxFile::buildTag, NsxFile::installTag)
// and the build of every tag of a new index on several threads (NsxBulkBuild).
// Sorting the keys and laying out the trees in memory is in nsx_build.cpp.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <utility>
#include <vector>

#include "store/xbase/error.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_tag.h"

namespace xb {

using namespace nsx;

// ---- placing a tree in the file ------------------------------------------------------------

namespace {

class Progress {
  public:
    explicit Progress(const NsxProgress& p) : p_(p) {}
    void at(double fraction) {
        if (!p_.fn) return;
        int pct = p_.from + static_cast<int>((p_.to - p_.from) * fraction);
        pct = std::clamp(pct, std::min(p_.from, p_.to), std::max(p_.from, p_.to));
        if (pct != last_) {
            last_ = pct;
            p_.fn(pct);
        }
    }

  private:
    const NsxProgress& p_;
    int last_ = -1;
};

// Writes finished pages straight to the file, bypassing the cache, in runs
// of consecutive addresses.
class DirectWriter {
  public:
    explicit DirectWriter(NsxFile& f) : f_(f) {}
    void put(std::uint32_t addr, const std::uint8_t* page) {
        f_.cache().discard(addr);
        if (!run_.empty() && (addr != runStart_ + run_.size() || run_.size() >= (1u << 20)))
            drain();
        if (run_.empty()) runStart_ = addr;
        run_.insert(run_.end(), page, page + kPageSize);
    }
    void drain() {
        if (!run_.empty()) f_.cache().writeRaw(runStart_, run_.data(), run_.size());
        run_.clear();
    }

  private:
    NsxFile& f_;
    std::uint32_t runStart_ = 0;
    std::vector<std::uint8_t> run_;
};

}  // namespace

void NsxTag::build(NsxKeyBatch& batch, std::uint32_t recordCount, const NsxProgress& progress,
                   const std::vector<std::uint32_t>* oldPages) {
    file_.requireWritable();
    if (batch.keyLen() != fmt_.keyLen) {
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Die Schlüssellänge passt nicht zum Tag " + name_, file_.path());
    }
    Progress prog(progress);
    NsxTreeImage img =
        assembleTree(batch, fmt_, unique_, recordCount, [&](double f) { prog.at(0.95 * f); });
    install(img, oldPages);
    prog.at(1.0);
}

void NsxTag::install(NsxTreeImage& img, const std::vector<std::uint32_t>* oldPages) {
    file_.requireWritable();
    if (img.format.keyLen != fmt_.keyLen || img.format.trail != fmt_.trail)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Der aufgebaute Baum passt nicht zum Schlüssel des Tags " + name_,
                        file_.path());
    if (img.pageCount() == 0 || img.root >= img.pageCount())
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Der aufgebaute Baum für den Tag " + name_ + " ist leer", file_.path());
    NsxFile::ChangeGuard guard(file_);

    // Pages of the old tree are reused first, in address order.
    std::vector<std::uint32_t> reuse;
    if (oldPages) {
        reuse = *oldPages;
        for (const std::uint32_t a : reuse)
            file_.forgetCount(a);
        std::sort(reuse.begin(), reuse.end(), std::greater<>());
    } else {
        std::vector<std::pair<std::uint32_t, int>> todo{{root_, 0}};
        std::unordered_set<std::uint32_t> seen;
        while (!todo.empty()) {
            auto [addr, depth] = todo.back();
            todo.pop_back();
            if (depth > kMaxDepth || !file_.validAddress(addr) || !seen.insert(addr).second)
                continue;
            try {
                PageRef p = treePage(addr);
                if (isBranchType(p.data()[0])) {
                    const BranchView b{p.data(), fmt_.keyLen};
                    for (int c = 0; c <= b.count(); ++c)
                        todo.push_back({b.child(c), depth + 1});
                }
            } catch (const qv::Error&) {
                continue;  // not a page of this tree after all; leave it alone
            }
            reuse.push_back(addr);
            file_.forgetCount(addr);
        }
        std::sort(reuse.begin(), reuse.end(), std::greater<>());
    }
    file_.beginDirectWrite();
    const std::size_t count = img.pageCount();
    std::vector<std::uint32_t> addr(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!reuse.empty()) {
            addr[i] = reuse.back();
            reuse.pop_back();
        } else {
            addr[i] = file_.allocAddress();
        }
    }
    DirectWriter out(file_);
    std::uint8_t page[kPageSize];
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* src = img.page(i);
        if (isBranchType(src[0])) {
            // Children by number become children by address.
            std::memcpy(page, src, kPageSize);
            const BranchView b{src, fmt_.keyLen};
            for (int c = 0; c <= b.count(); ++c)
                setBranchChild(page, fmt_.keyLen, c, addr[b.child(c)]);
            src = page;
        }
        out.put(addr[i], src);
        file_.setCount(addr[i], img.counts[i]);
    }
    out.drain();
    for (std::uint32_t a : reuse)
        file_.freePage(a);
    setRoot(addr[img.root]);
    ++mods_;
    file_.flush();
}

NsxTag& NsxFile::buildTag(const NsxTagDef& def, NsxKeyBatch& batch, std::uint32_t recordCount,
                          const NsxProgress& progress) {
    NsxTag& t = addTag(def);
    t.build(batch, recordCount, progress);
    return t;
}

NsxTag& NsxFile::installTag(const NsxTagDef& def, NsxTreeImage& image) {
    NsxTag& t = addTag(def);
    t.install(image);
    return t;
}

// ---- several tags on several threads ---------------------------------------------------------

namespace {

// Below this many records a second thread costs more than it saves.
constexpr std::size_t kParallelFrom = 20000;
// More threads than this gain little: the work is bound by memory.
constexpr unsigned kMaxThreads = 8;

// Thrown inside a worker that was asked to stop.
struct Stopped {};

// Threads (from Env::startThread) that are joined when they go.
struct JoinedThreads {
    std::vector<std::thread> threads;
    JoinedThreads() = default;
    JoinedThreads(const JoinedThreads&) = delete;
    JoinedThreads& operator=(const JoinedThreads&) = delete;
    ~JoinedThreads() {
        for (std::thread& t : threads)
            if (t.joinable()) t.join();
    }
};

}  // namespace

struct NsxBulkBuild::Slot {
    Slot(Tag t, unsigned threads)
        : def(std::move(t.def)),
          batch(def.keyLen, def.keyType == NsxKeyType::Character ? 0x20 : 0) {
        for (unsigned i = 0; i < threads; ++i)
            keyOf.push_back(t.makeKeyFn());
    }
    NsxTagDef def;
    std::vector<KeyFn> keyOf;  // one per thread
    NsxKeyBatch batch;
    NsxTreeImage image;
    std::atomic<int> permille{0};  // of the sort (first half) and the assembly
    // Under the build's mutex: the batch is sorted, the image complete.
    bool sorted = false;
    bool taken = false;  // a worker assembles it
    bool ready = false;
};

NsxBulkBuild::NsxBulkBuild(std::vector<Tag> tags, std::size_t expectedRecords, Env& env)
    : env_(env) {
    const unsigned cores = env_.hardwareThreads();
    threads_ = !tags.empty() && expectedRecords >= kParallelFrom && cores > 1
                   ? std::min(cores, kMaxThreads)
                   : 1;
    for (Tag& t : tags) {
        slots_.push_back(std::make_unique<Slot>(std::move(t), threads_));
        slots_.back()->batch.reserve(expectedRecords);
    }
}

NsxBulkBuild::~NsxBulkBuild() = default;

void NsxBulkBuild::evalRange(unsigned thread, const std::uint8_t* records, std::size_t recordLength,
                             std::uint32_t first, std::uint32_t from, std::uint32_t to) {
    for (const auto& sp : slots_) {
        Slot& s = *sp;
        const KeyFn& keyOf = s.keyOf[thread];
        const std::uint8_t* rec = records + std::size_t{from} * recordLength;
        for (std::uint32_t i = from; i < to; ++i, rec += recordLength) {
            const std::uint32_t recno = first + i;
            const std::size_t slot = recno - 1;
            if (!keyOf(rec, recno, s.batch.setSlot(slot, recno))) s.batch.omitSlot(slot);
        }
    }
}

void NsxBulkBuild::addRecords(const std::uint8_t* records, std::size_t recordLength,
                              std::uint32_t first, std::uint32_t n) {
    if (n == 0) return;
    if (first == 0 || first - 1 < filled_)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Datensätze für den Indexaufbau außer der Reihe: " + std::to_string(first) +
                            " nach " + std::to_string(filled_));
    const std::size_t end = std::size_t{first} - 1 + n;
    for (const auto& sp : slots_) {
        sp->batch.resizeSlots(end);
        for (std::size_t i = filled_; i + 1 < first; ++i)
            sp->batch.omitSlot(i);
    }
    filled_ = end;
    // Each thread takes an equal share of the block, with every tag: the
    // work splits evenly whatever the tags cost.
    const unsigned parts = n < 64 * threads_ ? 1 : threads_;
    if (parts == 1) {
        evalRange(0, records, recordLength, first, 0, n);
        return;
    }
    const auto bound = [&](unsigned part) {
        return static_cast<std::uint32_t>(std::uint64_t{n} * part / parts);
    };
    std::vector<std::exception_ptr> failures(parts);
    {
        JoinedThreads helpers;
        for (unsigned part = 1; part < parts; ++part) {
            helpers.threads.push_back(env_.startThread([&, part] {
                try {
                    evalRange(part, records, recordLength, first, bound(part), bound(part + 1));
                } catch (...) {
                    failures[part] = std::current_exception();
                }
            }));
        }
        try {
            evalRange(0, records, recordLength, first, 0, bound(1));
        } catch (...) {
            failures[0] = std::current_exception();
        }
    }  // the helpers are joined here
    for (const std::exception_ptr& f : failures)
        if (f) std::rethrow_exception(f);
}

void NsxBulkBuild::writeTo(NsxFile& file, std::uint32_t recordCount, const NsxProgress& progress) {
    Progress prog(progress);
    prog.at(0);
    const std::size_t m = slots_.size();
    const auto formatOf = [](const Slot& s) {
        return KeyFormat{s.batch.keyLen(), s.batch.trail()};
    };
    if (threads_ == 1) {
        for (std::size_t t = 0; t < m; ++t) {
            Slot& s = *slots_[t];
            const double base = static_cast<double>(t) / static_cast<double>(m);
            s.image = assembleTree(s.batch, formatOf(s), s.def.unique, recordCount, [&](double f) {
                prog.at(base + 0.9 * f / static_cast<double>(m));
            });
            s.batch.release();
            file.installTag(s.def, s.image);
            s.image = NsxTreeImage{};
            prog.at(static_cast<double>(t + 1) / static_cast<double>(m));
        }
        prog.at(1.0);
        return;
    }

    // Each tag is two tasks, its sort and then the layout of its tree. The
    // workers sort first, the largest batches first, and lay out the sorted
    // ones in the order of the tags: with twice as many tasks as tags of
    // rather equal size, the workers finish close together, and the calling
    // thread gets the trees in the order it writes them.
    std::vector<std::size_t> sortOrder(m);
    for (std::size_t i = 0; i < m; ++i)
        sortOrder[i] = i;
    const auto weight = [&](std::size_t i) {
        return slots_[i]->batch.size() * static_cast<std::size_t>(slots_[i]->batch.keyLen());
    };
    std::stable_sort(sortOrder.begin(), sortOrder.end(),
                     [&](std::size_t a, std::size_t b) { return weight(a) > weight(b); });

    std::mutex mu;
    std::condition_variable cv;  // a task done, a failure or the stop
    std::exception_ptr failure;  // the first error of a worker, under mu
    std::size_t nextSort = 0;    // into sortOrder, under mu
    std::size_t sorting = 0;     // sorts under way, under mu
    std::atomic<bool> stop{false};
    std::size_t installed = 0;
    const auto worker = [&] {
        try {
            for (;;) {
                std::size_t slot = m;
                bool layout = false;
                {
                    std::unique_lock lock(mu);
                    for (;;) {
                        if (stop.load() || failure) return;
                        if (nextSort < m) {
                            slot = sortOrder[nextSort++];
                            ++sorting;
                            break;
                        }
                        for (std::size_t t = 0; t < m && slot == m; ++t)
                            if (slots_[t]->sorted && !slots_[t]->taken) slot = t;
                        if (slot < m) {
                            slots_[slot]->taken = true;
                            layout = true;
                            break;
                        }
                        if (sorting == 0) return;  // every tree is taken
                        cv.wait(lock);
                    }
                }
                Slot& s = *slots_[slot];
                if (!layout) {
                    s.batch.sort();
                    s.permille.store(500);
                    {
                        const std::lock_guard lock(mu);
                        --sorting;
                        s.sorted = true;
                    }
                    cv.notify_all();
                    continue;
                }
                s.image =
                    assembleTree(s.batch, formatOf(s), s.def.unique, recordCount, [&](double f) {
                        s.permille.store(std::max(500, static_cast<int>(f * 1000)));
                        if (stop.load()) throw Stopped{};
                    });
                s.batch.release();
                {
                    const std::lock_guard lock(mu);
                    s.ready = true;
                }
                cv.notify_all();
            }
        } catch (const Stopped&) {
        } catch (...) {
            {
                const std::lock_guard lock(mu);
                if (!failure) failure = std::current_exception();
            }
            cv.notify_all();
        }
    };
    const auto done = [&] {
        double sum = static_cast<double>(installed);
        for (std::size_t t = installed; t < m; ++t)
            sum += 0.9 * slots_[t]->permille.load() / 1000.0;
        return sum / static_cast<double>(m);
    };
    {
        // Leaving this block, by the end or by an error of the file, stops
        // the workers (at their next task or progress point) and waits for
        // them.
        struct Workers {
            std::mutex& mu;
            std::condition_variable& cv;
            std::atomic<bool>& stop;
            JoinedThreads joined;
            ~Workers() {
                {
                    const std::lock_guard lock(mu);
                    stop.store(true);
                }
                cv.notify_all();
            }  // then the threads are joined
        } workers{mu, cv, stop, {}};
        const std::size_t count = std::min<std::size_t>(threads_, m);
        for (std::size_t w = 0; w < count; ++w)
            workers.joined.threads.push_back(env_.startThread(worker));
        for (std::size_t t = 0; t < m; ++t) {
            Slot& s = *slots_[t];
            {
                std::unique_lock lock(mu);
                while (!s.ready && !failure) {
                    cv.wait_for(lock, std::chrono::milliseconds(50));
                    lock.unlock();
                    prog.at(done());
                    lock.lock();
                }
                if (failure) break;
            }
            file.installTag(s.def, s.image);
            s.image = NsxTreeImage{};
            ++installed;
            prog.at(done());
        }
    }
    if (failure) std::rethrow_exception(failure);
    prog.at(1.0);
}

}  // namespace xb
