// The table and its index side meet only at the commit report, the installed
// order and the visibility question: an observer sees the tags already up to
// date, a foreign order leaves the index side in natural order, and the
// index side's own members move the table exactly as the table's do.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/error.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_index.h"

namespace {

const std::string kPath = "seam.dbf";

// NAME C(10), NUM N(6); records "N<i>" with NUM = i for i = 1 ... n, and a
// tag on NAME and one on NUM.
std::unique_ptr<xb::Table> makeTable(xb::Env& env, int n) {
    xb::TableBuilder b(kPath, env);
    b.addField("NAME", 'C', 10);
    b.addField("NUM", 'N', 6);
    b.create();
    auto t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
    for (int i = 1; i <= n; ++i) {
        t->append();
        t->replaceText(0, "N" + std::to_string(i));
        t->replaceNumber(1, i);
    }
    t->index().indexTag("name", "name");
    t->index().indexTag("num", "num");
    return t;
}

std::vector<std::uint32_t> walkTag(xb::Table& t, int position) {
    std::vector<std::uint32_t> out;
    t.index().walkTagUnfiltered(position, false, [&](std::uint32_t r) {
        out.push_back(r);
        return true;
    });
    return out;
}

// Records, for every commit, the NUM tag's order as the observer finds it.
class TagWatcher final : public xb::RecordObserver {
  public:
    explicit TagWatcher(xb::Table& t) : t_(t) {}
    void recordCommitted(std::uint32_t recno, const std::uint8_t* oldRecord,
                         const std::uint8_t*) override {
        commits.push_back({recno, oldRecord == nullptr, walkTag(t_, 2)});
    }
    struct Seen {
        std::uint32_t recno;
        bool append;
        std::vector<std::uint32_t> numOrder;
    };
    std::vector<Seen> commits;

  private:
    xb::Table& t_;
};

// Walks the records backwards: an order the index side does not know.
class Backwards final : public xb::RecordOrder {
  public:
    explicit Backwards(std::uint32_t n) : n_(n) {}
    std::uint32_t first() override { return pos_ = n_; }
    std::uint32_t last() override { return pos_ = n_ > 0 ? 1 : 0; }
    std::uint32_t next() override { return pos_ = pos_ <= 1 ? 0 : pos_ - 1; }
    std::uint32_t prev() override { return pos_ = (pos_ == 0 || pos_ >= n_) ? 0 : pos_ + 1; }
    void position(std::uint32_t recno, const std::uint8_t*) override { pos_ = recno; }

  private:
    std::uint32_t n_;
    std::uint32_t pos_ = 0;
};

TEST(TableIndexSeam, AnObserverFindsTheTagsAlreadyUpToDate) {
    xb::MemEnv env;
    auto t = makeTable(env, 5);
    TagWatcher w(*t);
    t->addObserver(&w);
    // An append: the new record is in the tag when the observer hears of it.
    t->append();
    t->replaceText(0, "N6");
    t->replaceNumber(1, 0);
    t->commitRecord();
    // A changed key: record 2 moves to the end of the NUM order.
    t->go(2);
    t->replaceNumber(1, 99);
    t->commitRecord();
    t->removeObserver(&w);

    ASSERT_EQ(w.commits.size(), 2u);
    EXPECT_EQ(w.commits[0].recno, 6u);
    EXPECT_TRUE(w.commits[0].append);
    EXPECT_EQ(w.commits[0].numOrder, (std::vector<std::uint32_t>{6, 1, 2, 3, 4, 5}));
    EXPECT_EQ(w.commits[1].recno, 2u);
    EXPECT_FALSE(w.commits[1].append);
    EXPECT_EQ(w.commits[1].numOrder, (std::vector<std::uint32_t>{6, 1, 3, 4, 5, 2}));
}

TEST(TableIndexSeam, AForeignOrderIsNaturalOrderForTheIndexSide) {
    xb::MemEnv env;
    auto t = makeTable(env, 4);
    t->index().setOrder(2);
    t->index().setScope(xb::TableIndex::numberKey(2), xb::TableIndex::numberKey(3));
    ASSERT_EQ(t->index().count(), 2u);

    t->setOrder(std::make_unique<Backwards>(t->recCount()));
    EXPECT_EQ(t->index().order(), 0);
    EXPECT_EQ(t->index().order(), 0);
    EXPECT_FALSE(t->index().hasScope());
    EXPECT_EQ(t->index().orderKeyType(), xb::ExprType::Character);
    std::vector<std::uint32_t> walked;
    for (t->goTop(); !t->eof(); t->skip())
        walked.push_back(t->recNo());
    EXPECT_EQ(walked, (std::vector<std::uint32_t>{4, 3, 2, 1}));
    EXPECT_EQ(t->index().count(), 4u);
    try {
        t->index().seek("N2");
        ADD_FAILURE() << "a seek without a tag order went through";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::State);
    }

    // The index side takes over again when a tag is chosen.
    t->index().setOrder(1);
    EXPECT_TRUE(t->index().seek("N3"));
    EXPECT_EQ(t->recNo(), 3u);
    EXPECT_EQ(t->index().orderRecNo(), 3u);
}

TEST(TableIndexSeam, TheIndexSideMovesTheTableAsTheTableDoes) {
    xb::MemEnv env;
    auto t = makeTable(env, 30);
    xb::TableIndex& ix = t->index();
    ix.setOrder(ix.tagPosition("NUM"));
    EXPECT_EQ(t->index().order(), 2);
    EXPECT_TRUE(ix.seekNumber(17));
    EXPECT_EQ(t->recNo(), 17u);
    EXPECT_EQ(ix.orderRecNo(), 17u);
    ASSERT_TRUE(ix.gotoOrderPosition(25));
    EXPECT_EQ(t->recNo(), 25u);

    // A subset found by the index side hides records from the table's walk.
    ix.query("num > 10 .and. num <= 13");
    EXPECT_TRUE(t->index().queryActive());
    std::vector<std::uint32_t> walked;
    for (t->goTop(); !t->eof(); t->skip())
        walked.push_back(t->recNo());
    EXPECT_EQ(walked, (std::vector<std::uint32_t>{11, 12, 13}));
    EXPECT_EQ(ix.count(), 3u);
    ix.setQueryBit(12, false);
    EXPECT_EQ(t->index().count(), 2u);
    ix.query("");

    // A filter likewise; flagged records go with the deleted setting.
    xb::settings().deleted = true;
    t->go(5);
    t->deleteRecord();
    t->commitRecord();
    ix.setFilter("num <= 6");
    walked.clear();
    for (t->goTop(); !t->eof(); t->skip())
        walked.push_back(t->recNo());
    xb::settings().deleted = false;
    EXPECT_EQ(walked, (std::vector<std::uint32_t>{1, 2, 3, 4, 6}));
    ix.setFilter("");

    // Pack renumbers; the index side's tags follow.
    t->pack();
    EXPECT_EQ(t->recCount(), 29u);
    ix.setOrder(2);
    EXPECT_EQ(ix.count(), 29u);
    EXPECT_TRUE(ix.seekNumber(6));
    EXPECT_EQ(t->recNo(), 5u);

    // Closing detaches the index.
    t->close();
    EXPECT_FALSE(ix.hasIndex());
    EXPECT_EQ(ix.tagCount(), 0);
}

}  // namespace
