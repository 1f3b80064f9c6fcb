// The bulk build of several tags on several threads: the file it writes is
// the one a build on one thread writes, byte for byte; an error on any thread
// reaches the caller as the engine's error, with no thread left behind; the
// progress it reports stays in its range and only goes up.
#include <algorithm>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"

namespace {

constexpr std::size_t kRecLen = 40;
constexpr std::uint32_t kRecords = 30000;  // enough for the second thread
constexpr std::uint32_t kBlock = 4096;

// Records of 40 bytes: a word of 12 letters from a small alphabet (many
// duplicates), a number of 8 digits, filler.
std::vector<std::uint8_t> makeRecords(std::uint32_t n) {
    std::mt19937 rng(7);
    std::vector<std::uint8_t> recs(std::size_t{n} * kRecLen, ' ');
    for (std::uint32_t i = 0; i < n; ++i) {
        std::uint8_t* r = recs.data() + std::size_t{i} * kRecLen;
        const int len = 1 + static_cast<int>(rng() % 12);
        for (int k = 0; k < len; ++k)
            r[k] = static_cast<std::uint8_t>('A' + rng() % 4);
        const std::string num = std::to_string(10000000 + rng() % 5000);
        std::memcpy(r + 12, num.data(), 8);
    }
    return recs;
}

xb::NsxTagDef def(const char* name, int keyLen, bool unique = false) {
    xb::NsxTagDef d;
    d.name = name;
    d.keyExpr = name;  // stored only; the keys come from the functions below
    d.keyLen = keyLen;
    d.unique = unique;
    return d;
}

// Three tags: the word and the number (every fifth record left out), the
// number alone (unique), the word alone.
std::vector<xb::NsxBulkBuild::Tag> threeTags() {
    using KeyFn = xb::NsxBulkBuild::KeyFn;
    std::vector<xb::NsxBulkBuild::Tag> tags;
    tags.push_back({def("WORDNUM", 20), [] {
                        return KeyFn(
                            [](const std::uint8_t* r, std::uint32_t recno, std::uint8_t* key) {
                                if (recno % 5 == 0) return false;
                                std::memcpy(key, r, 20);
                                return true;
                            });
                    }});
    tags.push_back({def("NUM", 8, true), [] {
                        return KeyFn([](const std::uint8_t* r, std::uint32_t, std::uint8_t* key) {
                            std::memcpy(key, r + 12, 8);
                            return true;
                        });
                    }});
    tags.push_back({def("WORD", 12), [] {
                        return KeyFn([](const std::uint8_t* r, std::uint32_t, std::uint8_t* key) {
                            std::memcpy(key, r, 12);
                            return true;
                        });
                    }});
    return tags;
}

// Builds the tags over `recs` into `path`; `expected` 0 keeps it on one thread.
void buildInto(xb::MemEnv& env, const std::string& path, const std::vector<std::uint8_t>& recs,
               std::size_t expected, std::vector<int>* percents = nullptr) {
    const auto n = static_cast<std::uint32_t>(recs.size() / kRecLen);
    xb::NsxBulkBuild build(threeTags(), expected, env);
    for (std::uint32_t first = 1; first <= n; first += kBlock)
        build.addRecords(recs.data() + std::size_t{first - 1} * kRecLen, kRecLen, first,
                         std::min(kBlock, n - first + 1));
    auto file = xb::NsxFile::create(path, env);
    xb::NsxProgress progress;
    if (percents) progress = {[percents](int p) { percents->push_back(p); }, 40, 90};
    build.writeTo(*file, n, progress);
    file->close();
}

TEST(ParallelBuild, WritesTheFileOneThreadWritesAndReportsRisingProgressInItsRange) {
    const std::vector<std::uint8_t> recs = makeRecords(kRecords);
    xb::MemEnv env;
    std::vector<int> percents;
    buildInto(env, "two.nsx", recs, kRecords, &percents);
    buildInto(env, "one.nsx", recs, 0);
    EXPECT_EQ(env.fileBytes("two.nsx"), env.fileBytes("one.nsx"));

    // The trees hold what the records say.
    auto f = xb::NsxFile::open("two.nsx", xb::NsxFile::Mode::ReadOnly, env);
    ASSERT_EQ(f->tagCount(), 3);
    EXPECT_EQ(f->tag(0).count(), kRecords - kRecords / 5);
    std::set<std::string> numbers;
    for (std::uint32_t i = 0; i < kRecords; ++i)
        numbers.emplace(reinterpret_cast<const char*>(recs.data()) + i * kRecLen + 12, 8);
    EXPECT_EQ(f->tag(1).count(), numbers.size());  // unique: one entry per number
    EXPECT_EQ(f->tag(2).count(), kRecords);
    EXPECT_TRUE(f->verify().empty());

    ASSERT_GE(percents.size(), 3u);
    EXPECT_EQ(percents.front(), 40);
    EXPECT_EQ(percents.back(), 90);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
}

TEST(ParallelBuild, TakesItsThreadsAndTheCoreCountFromTheEnv) {
    const std::vector<std::uint8_t> recs = makeRecords(kRecords);
    xb::MemEnv env;
    buildInto(env, "one.nsx", recs, 0);
    EXPECT_EQ(env.threadsStarted(), 0);
    // One core: no thread even for a large build.
    env.setHardwareThreads(1);
    buildInto(env, "single.nsx", recs, kRecords);
    EXPECT_EQ(env.threadsStarted(), 0);
    // Two cores, with the Env running each thread at once on the caller's:
    // a helper for each block of records and two workers for the trees,
    // and still the file of one thread.
    env.setHardwareThreads(2);
    env.runThreadsInline(true);
    buildInto(env, "two.nsx", recs, kRecords);
    const long blocks = (kRecords + kBlock - 1) / kBlock;
    EXPECT_EQ(env.threadsStarted(), blocks + 2);
    EXPECT_EQ(env.fileBytes("two.nsx"), env.fileBytes("one.nsx"));
    EXPECT_EQ(env.fileBytes("single.nsx"), env.fileBytes("one.nsx"));
    // Four cores: three helpers for each block, and a worker per tag (three).
    env.setHardwareThreads(4);
    const long before = env.threadsStarted();
    buildInto(env, "four.nsx", recs, kRecords);
    EXPECT_EQ(env.threadsStarted() - before, 3 * blocks + 3);
    EXPECT_EQ(env.fileBytes("four.nsx"), env.fileBytes("one.nsx"));
    // Four cores on real threads, each tag sorted and laid out on whichever
    // is free: still the same file.
    env.runThreadsInline(false);
    buildInto(env, "four-live.nsx", recs, kRecords);
    EXPECT_EQ(env.fileBytes("four-live.nsx"), env.fileBytes("one.nsx"));
}

TEST(ParallelBuild, AKeyThatCannotBeMadeStopsTheBuildWithItsError) {
    const std::vector<std::uint8_t> recs = makeRecords(kRecords);
    // Each tag in turn fails in the second half of a block (the helper
    // thread's) and in the first half of the first block (the caller's).
    for (const std::uint32_t badRecord : {20000u, 100u}) {
        for (std::size_t failing = 0; failing < 3; ++failing) {
            SCOPED_TRACE("tag " + std::to_string(failing) + ", record " +
                         std::to_string(badRecord));
            std::vector<xb::NsxBulkBuild::Tag> tags = threeTags();
            const xb::NsxBulkBuild::KeyMaker good = tags[failing].makeKeyFn;
            tags[failing].makeKeyFn = [good, badRecord] {
                return xb::NsxBulkBuild::KeyFn([g = good(), badRecord](const std::uint8_t* r,
                                                                       std::uint32_t recno,
                                                                       std::uint8_t* key) {
                    if (recno == badRecord)
                        throw qv::Error(qv::ErrorCode::InvalidArgument, "Schlüssel nicht bildbar");
                    return g(r, recno, key);
                });
            };
            xb::NsxBulkBuild build(std::move(tags), kRecords);
            try {
                for (std::uint32_t first = 1; first <= kRecords; first += kBlock)
                    build.addRecords(recs.data() + std::size_t{first - 1} * kRecLen, kRecLen, first,
                                     std::min(kBlock, kRecords - first + 1));
                ADD_FAILURE() << "the build went past the bad key";
            } catch (const qv::Error& e) {
                EXPECT_EQ(e.code(), qv::ErrorCode::InvalidArgument);
                EXPECT_EQ(e.text(), "Schlüssel nicht bildbar");
            }
        }
    }
}

TEST(ParallelBuild, AFileThatRefusesWritesStopsBothThreadsAndReportsTheFailure) {
    const std::vector<std::uint8_t> recs = makeRecords(kRecords);
    long writes = 0;
    {
        xb::MemEnv env;
        const long before = env.writesDone();
        buildInto(env, "x.nsx", recs, kRecords);
        writes = env.writesDone() - before;
    }
    ASSERT_GT(writes, 3);
    for (long k = 0; k < writes; ++k) {
        SCOPED_TRACE("writes refused after " + std::to_string(k));
        xb::MemEnv env;
        env.failWritesAfter(k);
        try {
            buildInto(env, "x.nsx", recs, kRecords);
            ADD_FAILURE() << "the build ignored a refused write";
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::IoError) << e.text();
        }
    }
}

}  // namespace
