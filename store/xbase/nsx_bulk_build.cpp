// Bulk builds that reach the file: placing an assembled tree in its tag
// (NsxTag::build, NsxTag::install, NsxFile::buildTag, NsxFile::installTag)
// and the build of every tag of a new index on two threads (NsxBulkBuild).
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

// ---- several tags on two threads ---------------------------------------------------------

namespace {

// Below this many records a second thread costs more than it saves.
constexpr std::size_t kParallelFrom = 20000;

// Thrown inside a worker that was asked to stop.
struct Stopped {};

// A thread (from Env::startThread) that is joined when it goes.
struct Joined {
    std::thread thread;
    ~Joined() {
        if (thread.joinable()) thread.join();
    }
};

}  // namespace

struct NsxBulkBuild::Slot {
    explicit Slot(Tag t)
        : def(std::move(t.def)),
          batch(def.keyLen, def.keyType == NsxKeyType::Character ? 0x20 : 0) {
        keyOf[0] = t.makeKeyFn();
        keyOf[1] = t.makeKeyFn();
    }
    NsxTagDef def;
    KeyFn keyOf[2];  // one per thread
    NsxKeyBatch batch;
    NsxTreeImage image;
    std::atomic<int> permille{0};  // of the assembly
    bool ready = false;            // the image is complete (under the build's mutex)
};

NsxBulkBuild::NsxBulkBuild(std::vector<Tag> tags, std::size_t expectedRecords, Env& env)
    : env_(env) {
    for (Tag& t : tags) {
        slots_.push_back(std::make_unique<Slot>(std::move(t)));
        slots_.back()->batch.reserve(expectedRecords);
    }
    parallel_ = slots_.size() > 0 && expectedRecords >= kParallelFrom && env_.hardwareThreads() > 1;
}

NsxBulkBuild::~NsxBulkBuild() = default;

void NsxBulkBuild::evalRange(int thread, const std::uint8_t* records, std::size_t recordLength,
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
    // The two threads take one half of the block each, with every tag: the
    // work splits evenly whatever the tags cost.
    if (!parallel_ || n < 64) {
        evalRange(0, records, recordLength, first, 0, n);
        return;
    }
    const std::uint32_t half = n / 2;
    std::exception_ptr failure;
    {
        const Joined helper{env_.startThread([&] {
            try {
                evalRange(1, records, recordLength, first, half, n);
            } catch (...) {
                failure = std::current_exception();
            }
        })};
        evalRange(0, records, recordLength, first, 0, half);  // the helper is joined on the way out
    }
    if (failure) std::rethrow_exception(failure);
}

void NsxBulkBuild::writeTo(NsxFile& file, std::uint32_t recordCount, const NsxProgress& progress) {
    Progress prog(progress);
    prog.at(0);
    const std::size_t m = slots_.size();
    const auto formatOf = [](const Slot& s) {
        return KeyFormat{s.batch.keyLen(), s.batch.trail()};
    };
    if (!parallel_) {
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

    // The largest trees are assembled first, so that the other thread takes
    // the smaller ones meanwhile.
    std::vector<std::size_t> order(m);
    for (std::size_t i = 0; i < m; ++i)
        order[i] = i;
    const auto weight = [&](std::size_t i) {
        return slots_[i]->batch.size() * static_cast<std::size_t>(slots_[i]->batch.keyLen());
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return weight(a) > weight(b); });

    std::mutex mu;
    std::condition_variable cv;
    std::exception_ptr failure;  // the first error of a worker, under mu
    std::atomic<std::size_t> next{0};
    std::size_t installed = 0;
    std::atomic<bool> stop{false};
    const auto worker = [&] {
        try {
            for (;;) {
                if (stop.load()) return;
                const std::size_t i = next.fetch_add(1);
                if (i >= m) return;
                Slot& s = *slots_[order[i]];
                s.image =
                    assembleTree(s.batch, formatOf(s), s.def.unique, recordCount, [&](double f) {
                        s.permille.store(static_cast<int>(f * 1000));
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
        // both workers (at their next progress point) and waits for them.
        struct Workers {
            std::atomic<bool>& stop;
            Joined a, b;
            ~Workers() { stop.store(true); }  // then a and b are joined
        } workers{stop, {}, {}};
        workers.a.thread = env_.startThread(worker);
        workers.b.thread = env_.startThread(worker);
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
