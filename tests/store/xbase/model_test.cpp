// A long random run of appends, edits, deletions, recalls, copies and memo
// updates, checked against an in-memory model after every reopen, together
// with the structure of the memo file.
#include <optional>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/coding.h"
#include "store/xbase/table.h"
#include "support/testutil.h"
#include "xbase_test_util.h"

namespace {

struct Model {
    bool deleted = false;
    std::string name;           // as stored (padded to 12)
    std::optional<double> num;  // nullopt: blank
    std::int32_t jdn = 0;
    char flag = ' ';
    bool memoWritten = false;
    std::string memo;
};

class RandomRun {
  public:
    RandomRun(std::uint64_t seed, const std::string& path) : rng_(seed), path_(path) {}

    std::string text(std::size_t n) {
        std::string s(n, ' ');
        for (char& c : s)
            c = static_cast<char>(rng_() % 256);
        return s;
    }

    std::string memoText() {
        const unsigned k = rng_() % 100;
        std::size_t n;
        if (k < 10)
            n = 0;
        else if (k < 60)
            n = rng_() % 64 + 1;
        else if (k < 90)
            n = rng_() % 2000 + 1;
        else if (k < 98)
            n = rng_() % 20000 + 1;
        else
            n = 65536 + rng_() % 150000;  // well beyond 64 KiB
        return text(n);
    }

    // Changes a few fields of the table's current record and of `m` alike.
    void change(xb::Table& t, Model& m) {
        const int edits = 1 + static_cast<int>(rng_() % 4);
        for (int e = 0; e < edits; ++e) {
            switch (rng_() % 6) {
                case 0: {
                    std::string s = text(rng_() % 15);
                    t.replaceText(0, s);
                    s.resize(12, ' ');
                    m.name = s.substr(0, 12);
                    break;
                }
                case 1:
                    if (rng_() % 5 == 0) {
                        t.replaceBlank(1);
                        m.num.reset();
                    } else {
                        const double v =
                            static_cast<double>(static_cast<std::int64_t>(rng_() % 2000001) -
                                                1000000) /
                            100.0;
                        t.replaceNumber(1, v);
                        m.num = xb::parseNumber(xb::formatNumber(v, 10, 2));
                    }
                    break;
                case 2: {
                    const std::int32_t jdn =
                        rng_() % 4 == 0 ? 0
                                        : xb::dateToJdn(1990 + static_cast<int>(rng_() % 40),
                                                        1 + static_cast<int>(rng_() % 12),
                                                        1 + static_cast<int>(rng_() % 28));
                    t.replaceDate(2, jdn);
                    m.jdn = jdn;
                    break;
                }
                case 3: {
                    const bool v = rng_() % 2;
                    t.replaceLogical(3, v);
                    m.flag = v ? 'T' : 'F';
                    break;
                }
                default:
                    if (rng_() % 8 == 0) {
                        t.replaceBlank(4);
                        m.memoWritten = false;
                        m.memo.clear();
                    } else {
                        m.memo = memoText();
                        m.memoWritten = true;
                        t.replaceMemo(4, m.memo);
                    }
            }
        }
    }

    void verify(xb::Table& t, const std::vector<Model>& model) {
        ASSERT_EQ(t.recCount(), model.size());
        for (std::uint32_t r = 1; r <= model.size(); ++r) {
            const Model& m = model[r - 1];
            t.go(r);
            SCOPED_TRACE("record " + std::to_string(r));
            ASSERT_EQ(t.deleted(), m.deleted);
            ASSERT_EQ(t.raw(0), m.name);
            ASSERT_EQ(t.isBlank(1), !m.num.has_value());
            if (m.num) {
                ASSERT_EQ(t.number(1), *m.num);
            }
            ASSERT_EQ(t.date(2), m.jdn);
            ASSERT_EQ(t.raw(3)[0], m.flag);
            ASSERT_EQ(t.memoWritten(4), m.memoWritten);
            ASSERT_EQ(t.getMemo(4), m.memo);
        }
        ASSERT_EQ(xbtest::checkMemoStructure(t), "");
    }

    void run(int steps) {
        std::vector<Model> model;
        auto t = xb::Table::open(path_);
        Model blank;
        blank.name = std::string(12, ' ');
        for (int step = 0; step < steps; ++step) {
            const unsigned op = rng_() % 100;
            if (model.empty() || op < 25) {  // append
                t->append();
                Model m = blank;
                change(*t, m);
                if (rng_() % 10 == 0) {
                    t->discard();
                } else {
                    t->commitRecord();
                    model.push_back(m);
                }
            } else if (op < 70) {  // edit, sometimes given up
                const std::uint32_t r = 1 + static_cast<std::uint32_t>(rng_() % model.size());
                t->go(r);
                Model m = model[r - 1];
                change(*t, m);
                if (rng_() % 10 == 0) {
                    t->discard();
                } else {
                    if (rng_() % 2) t->commitRecord();  // else the next move commits
                    model[r - 1] = m;
                }
            } else if (op < 82) {  // delete or recall
                const std::uint32_t r = 1 + static_cast<std::uint32_t>(rng_() % model.size());
                t->go(r);
                const bool del = rng_() % 2;
                if (del)
                    t->deleteRecord();
                else
                    t->recall();
                model[r - 1].deleted = del;
            } else if (op < 90) {  // copy a record onto a new one
                const std::uint32_t r = 1 + static_cast<std::uint32_t>(rng_() % model.size());
                t->go(r);
                const std::string bytes = t->recordBytes();
                t->append();
                t->putRecordBytes(bytes);
                t->commitRecord();
                model.push_back(model[r - 1]);
            } else if (op < 97) {  // navigate through everything
                std::uint32_t n = 0;
                for (t->goBottom(); !t->bof(); t->skip(-1))
                    ++n;
                EXPECT_EQ(n, model.size());
            } else {
                if (rng_() % 2) t->flush();
                t.reset();
                t = xb::Table::open(path_);
                verify(*t, model);
                if (::testing::Test::HasFatalFailure()) return;
            }
        }
        t.reset();
        t = xb::Table::open(path_);
        verify(*t, model);
    }

  private:
    std::mt19937_64 rng_;
    std::string path_;
};

TEST(RandomModel, TableMatchesModelAfterEveryReopen) {
    qvtest::TempDir dir;
    const std::string path = (dir / "model.dbf").string();
    xbtest::createTable(path, {{"name", 'C', 12, 0},
                               {"num", 'N', 10, 2},
                               {"day", 'D', 8, 0},
                               {"flag", 'L', 1, 0},
                               {"memo", 'M', 10, 0}});
    RandomRun(qvtest::testSeed(), path).run(3000);
}

}  // namespace
