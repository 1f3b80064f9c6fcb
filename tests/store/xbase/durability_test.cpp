// Kills a writing child process at random instants and checks that every
// record it reported as committed survived intact, memo texts included.
#include <chrono>
#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "support/testutil.h"
#include "xbase_test_util.h"

namespace {

// What a record holds for a given version: everything derives from
// (recno, version), so the parent can tell which version it sees.
struct Values {
    bool deleted = false;
    std::string name;   // C(20)
    std::string tag;    // C(30)
    int memoState = 0;  // 0 never written, 1 emptied, 2 text
    std::string memo;
};

Values valuesFor(std::uint32_t recno, std::uint64_t version) {
    std::mt19937_64 g(version * 0x9E3779B97F4A7C15ull + recno);
    Values v;
    v.deleted = g() % 5 == 0;
    v.name = "R" + std::to_string(recno) + "V" + std::to_string(version);
    v.tag = std::string(1 + g() % 30, static_cast<char>('a' + g() % 26));
    const unsigned k = g() % 100;
    v.memoState = k < 10 ? 0 : k < 20 ? 1 : 2;
    if (v.memoState == 2) {
        // Mostly short texts; one in four long enough that the kill often
        // lands while it is being written.
        const std::size_t n = k < 80 ? 1 + g() % 3000 : 100000 + g() % 900000;
        v.memo = v.name + "|" + std::string(n, static_cast<char>(g()));
        for (std::size_t i = v.name.size() + 1; i < v.memo.size(); i += 4093)
            v.memo[i] = static_cast<char>(g());
        v.memo += "|" + v.name;
    }
    return v;
}

void write(xb::Table& t, const Values& v) {
    t.replaceText(0, v.name);
    t.replaceText(1, v.tag);
    if (v.memoState == 0)
        t.replaceBlank(2);
    else
        t.replaceMemo(2, v.memoState == 1 ? std::string() : v.memo);
    if (v.deleted)
        t.deleteRecord();
    else
        t.recall();
}

bool matches(xb::Table& t, const Values& v) {
    std::string name(t.raw(0)), tag(t.raw(1));
    std::string wantName = v.name, wantTag = v.tag;
    wantName.resize(20, ' ');
    wantTag.resize(30, ' ');
    if (name != wantName || tag != wantTag || t.deleted() != v.deleted) return false;
    if (t.memoWritten(2) != (v.memoState != 0)) return false;
    return t.getMemo(2) == v.memo;
}

struct Msg {
    std::uint32_t kind;  // 1 = about to commit, 2 = committed
    std::uint32_t recno;
    std::uint64_t version;
};

// The child: appends (while the table is small) and edits until it is killed.
[[noreturn]] void runChild(const std::string& path, int fd, std::uint64_t seed,
                           std::uint64_t firstVersion) {
    try {
        std::mt19937_64 g(seed);
        auto t = xb::Table::open(path);
        std::uint64_t version = firstVersion;
        for (int i = 0; i < 1000000; ++i) {
            const std::uint32_t count = t->recCount();
            const bool append = count == 0 || (count < 300 && g() % 3 == 0);
            const std::uint32_t recno =
                append ? count + 1 : 1 + static_cast<std::uint32_t>(g() % count);
            ++version;
            Msg intent{1, recno, version};
            if (::write(fd, &intent, sizeof intent) != sizeof intent) _exit(4);
            if (append)
                t->append();
            else
                t->go(recno);
            write(*t, valuesFor(recno, version));
            t->commitRecord();
            Msg done{2, recno, version};
            if (::write(fd, &done, sizeof done) != sizeof done) _exit(4);
        }
        _exit(0);
    } catch (...) {
        _exit(3);
    }
}

TEST(Durability, KilledWriterLosesNothingCommitted) {
    qvtest::TempDir dir;
    const std::string path = (dir / "kill.dbf").string();
    xbtest::createTable(path, {{"name", 'C', 20, 0}, {"tag", 'C', 30, 0}, {"memo", 'M', 10, 0}});
    std::mt19937_64 rng(qvtest::testSeed());
    std::map<std::uint32_t, std::uint64_t> committed;  // recno -> version
    int outcomes[4] = {};  // record in flight: none (or an append not there), old, new, split
    std::uint64_t commits = 0;
    const int kIterations = 120;

    for (int iter = 0; iter < kIterations; ++iter) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(fds[0]);
            runChild(path, fds[1], rng(), std::uint64_t(iter + 1) << 32);
        }
        close(fds[1]);

        // Read reports until the kill time, then kill and drain the pipe.
        std::string raw;
        auto readSome = [&](int timeoutMs) {
            pollfd p{fds[0], POLLIN, 0};
            if (poll(&p, 1, timeoutMs) <= 0) return false;
            char buf[4096];
            const ssize_t n = read(fds[0], buf, sizeof buf);
            if (n <= 0) return false;
            raw.append(buf, static_cast<std::size_t>(n));
            return true;
        };
        const auto until =
            std::chrono::steady_clock::now() + std::chrono::microseconds(2000 + rng() % 40000);
        while (std::chrono::steady_clock::now() < until)
            readSome(1);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "child ended by itself, status " << status;
        while (readSome(0)) {
        }
        close(fds[0]);
        ASSERT_EQ(raw.size() % sizeof(Msg), 0u);
        std::vector<Msg> msgs(raw.size() / sizeof(Msg));
        if (!raw.empty()) std::memcpy(msgs.data(), raw.data(), raw.size());

        bool inflight = false;
        Msg last{};
        for (const Msg& m : msgs) {
            if (m.kind == 1) {
                inflight = true;
                last = m;
            } else {
                ASSERT_TRUE(inflight && m.recno == last.recno && m.version == last.version);
                committed[m.recno] = m.version;
                inflight = false;
                ++commits;
            }
        }

        // The table opens (repairing what the kill left) and holds every
        // committed record exactly; only the in-flight one may be either.
        auto t = xb::Table::open(path);
        const std::uint32_t known = committed.empty() ? 0 : committed.rbegin()->first;
        const bool inflightAppend = inflight && last.recno == known + 1;
        ASSERT_TRUE(t->recCount() == known || (inflightAppend && t->recCount() == known + 1))
            << "count " << t->recCount() << ", committed " << known;
        for (const auto& [recno, version] : committed) {
            if (inflight && recno == last.recno) continue;
            t->go(recno);
            ASSERT_TRUE(matches(*t, valuesFor(recno, version)))
                << "iteration " << iter << ", record " << recno << " version " << version;
        }
        // The record in flight is either as before or as intended (its new
        // memo text goes to blocks nobody else uses). Only when its bytes
        // straddle a page boundary can the kill have split its single write,
        // and then it may be a mixture; it is given a known state again.
        if (inflight && last.recno <= t->recCount()) {
            t->go(last.recno);
            const auto old = committed.find(last.recno);
            const std::uint64_t off =
                t->header().headerLength + std::uint64_t{last.recno - 1} * t->recordLength();
            const bool straddles = off / 4096 != (off + t->recordLength() - 1) / 4096;
            if (matches(*t, valuesFor(last.recno, last.version))) {
                committed[last.recno] = last.version;
                ++outcomes[2];
            } else if (old != committed.end() && matches(*t, valuesFor(last.recno, old->second))) {
                ++outcomes[1];
            } else {
                ASSERT_TRUE(straddles)
                    << "iteration " << iter << ": record " << last.recno << " in flight is torn";
                write(*t, valuesFor(last.recno, last.version));
                t->commitRecord();
                committed[last.recno] = last.version;
                ++outcomes[3];
            }
        } else {
            ++outcomes[0];
        }
        ASSERT_EQ(xbtest::checkMemoStructure(*t), "") << "iteration " << iter;
        const std::uint32_t count = t->recCount();
        t->close();
        const auto bytes = qvtest::readFile(path);
        ASSERT_EQ(xb::getU32LE(bytes.data() + 4), count);
        ASSERT_EQ(bytes.back(), 0x1A);
    }
    EXPECT_GT(commits, 0u);
    std::printf(
        "[durability] %d kills, %llu commits; record in flight: none %d, old %d, new %d, split "
        "%d\n",
        kIterations, static_cast<unsigned long long>(commits), outcomes[0], outcomes[1],
        outcomes[2], outcomes[3]);
}

// ---- every write of a commit as a stopping point --------------------------

struct Snapshot {
    std::string name;
    bool memoWritten;
    std::string memo;
    bool deleted;
    bool operator==(const Snapshot&) const = default;
};

std::vector<Snapshot> snapshot(xb::Table& t) {
    std::vector<Snapshot> out;
    for (std::uint32_t r = 1; r <= t.recCount(); ++r) {
        t.go(r);
        out.push_back({std::string(t.raw(0)), t.memoWritten(1), t.getMemo(1), t.deleted()});
    }
    return out;
}

TEST(Durability, EveryWriteOfACommitIsASafeStoppingPoint) {
    // The starting point: six records with memos, one of them moved once so
    // that the free list is not empty.
    xb::MemEnv base;
    {
        xb::TableBuilder b("t.dbf", base);
        b.addField("name", 'C', 10);
        b.addField("memo", 'M');
        b.create();
        auto t = xb::Table::open("t.dbf", xb::OpenMode::Exclusive, base);
        const std::size_t sizes[] = {100, 64, 300, 1, 2000, 129};
        for (std::size_t i = 0; i < 6; ++i) {
            t->append();
            t->replaceText(0, "rec" + std::to_string(i + 1));
            t->replaceMemo(1, std::string(sizes[i], static_cast<char>('a' + i)));
        }
        t->go(2);
        t->replaceMemo(1, std::string(700, 'B'));
        t->close();
    }
    struct Op {
        const char* what;
        std::uint32_t target;  // the record the operation writes
        std::function<void(xb::Table&)> run;
    };
    const std::vector<Op> ops = {
        {"memo grows", 3,
         [](xb::Table& t) {
             t.go(3);
             t.replaceText(0, "grown");
             t.replaceMemo(1, std::string(5000, 'G'));
         }},
        {"last memo shrinks", 6,
         [](xb::Table& t) {
             t.go(6);
             t.replaceMemo(1, "s");
         }},
        {"memo into the free extent", 5,
         [](xb::Table& t) {
             t.go(5);
             t.replaceMemo(1, std::string(60, 'F'));
         }},
        {"memo emptied", 2,
         [](xb::Table& t) {
             t.go(2);
             t.replaceMemo(1, "");
         }},
        {"memo back to never written", 4,
         [](xb::Table& t) {
             t.go(4);
             t.replaceBlank(1);
             t.deleteRecord();
         }},
        {"append with a long memo", 7,
         [](xb::Table& t) {
             t.append();
             t.replaceText(0, "neu");
             t.replaceMemo(1, std::string(70000, 'L'));
         }},
        {"copy of a record", 7,
         [](xb::Table& t) {
             t.go(1);
             const std::string bytes = t.recordBytes();
             t.append();
             t.putRecordBytes(bytes);
         }},
    };
    auto copyOf = [&base]() {
        auto env = std::make_unique<xb::MemEnv>();
        env->setFile("t.dbf", base.fileBytes("t.dbf"));
        env->setFile("t.smt", base.fileBytes("t.smt"));
        return env;
    };
    std::vector<Snapshot> before;
    {
        auto env = copyOf();
        auto t = xb::Table::open("t.dbf", xb::OpenMode::Exclusive, *env);
        before = snapshot(*t);
    }
    for (const Op& op : ops) {
        SCOPED_TRACE(op.what);
        std::vector<Snapshot> after;
        {
            auto env = copyOf();
            auto t = xb::Table::open("t.dbf", xb::OpenMode::Exclusive, *env);
            op.run(*t);
            t->close();
            t = xb::Table::open("t.dbf", xb::OpenMode::Exclusive, *env);
            after = snapshot(*t);
        }
        ASSERT_NE(after, before);
        bool completed = false;
        for (long k = 0; !completed; ++k) {
            ASSERT_LT(k, 100) << "the operation never completed";
            auto env = copyOf();
            env->failWritesAfter(k);
            try {
                auto t = xb::Table::open("t.dbf", xb::OpenMode::Exclusive, *env);
                op.run(*t);
                t->close();
                completed = true;
            } catch (const qv::Error& e) {
                ASSERT_EQ(e.code(), qv::ErrorCode::IoError) << e.text();
            }
            env->failWritesAfter(-1);
            auto t = xb::Table::open("t.dbf", xb::OpenMode::Exclusive, *env);
            const std::vector<Snapshot> now = snapshot(*t);
            SCOPED_TRACE("stopped after " + std::to_string(k) + " writes");
            ASSERT_TRUE(now.size() == before.size() || now.size() == after.size());
            for (std::uint32_t r = 1; r <= now.size(); ++r) {
                if (r == op.target) {
                    const bool old = r <= before.size() && now[r - 1] == before[r - 1];
                    ASSERT_TRUE(old || now[r - 1] == after[r - 1]) << "record " << r << " is torn";
                } else {
                    ASSERT_EQ(now[r - 1], before[r - 1]) << "record " << r << " changed";
                }
            }
            ASSERT_EQ(xbtest::checkMemoStructure(*t), "");
            if (completed) {
                ASSERT_EQ(now, after);
            }
        }
    }
}

}  // namespace
