// The planner against a source of its own: records in memory behind the
// reader callback, wide records so that reads are split into several runs,
// and a tag built beside them. Checks what the planner asks the reader for
// as well as what it answers.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/expr.h"
#include "store/xbase/nsx_build.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/query.h"
#include "store/xbase/settings.h"
#include "support/testutil.h"

namespace {

struct ReadCall {
    std::uint32_t first, count;
};

// id N(6), grp C(2), big C(1000): about 260 records fit in one read run.
class MemorySourceTest : public ::testing::Test {
  protected:
    static constexpr std::uint32_t kRecords = 6000;

    void SetUp() override {
        fields_ = xb::FieldList({{"ID", 'N', 6, 0}, {"GRP", 'C', 2, 0}, {"BIG", 'C', 1000, 0}});
        len_ = fields_.recordLength();
        data_.assign(std::size_t{kRecords} * len_, ' ');
        for (std::uint32_t r = 1; r <= kRecords; ++r) {
            char* rec = reinterpret_cast<char*>(data_.data()) + std::size_t{r - 1} * len_;
            const std::string id = xb::formatNumber(r, 6, 0);
            std::memcpy(rec + 1, id.data(), 6);
            // A sparse group, a dense stretch, and the rest.
            const char* grp = r % 97 == 0 ? "A" : (r >= 1000 && r <= 2500 ? "B" : "C");
            rec[7] = grp[0];
            rec[9] = "xyz"[r % 3];
            if (r % 11 == 0) rec[0] = '*';
        }
        index_ = xb::NsxFile::create((dir_ / "mem.nsx").string());
        xb::Expr key = xb::Expr::compile("grp", fields_);
        xb::NsxKeyBatch batch(2, ' ');
        std::uint8_t k[2];
        for (std::uint32_t r = 1; r <= kRecords; ++r) {
            key.evalKey({record(r), r}, k, 2);
            batch.add({reinterpret_cast<const char*>(k), 2}, r);
        }
        index_->buildTag({"GRP", "grp", "", xb::NsxKeyType::Character, 2}, batch, kRecords);
    }

    const std::uint8_t* record(std::uint32_t r) const {
        return data_.data() + std::size_t{r - 1} * len_;
    }

    xb::QuerySource source() {
        xb::QuerySource s;
        s.fields = &fields_;
        s.recCount = kRecords;
        s.index = index_.get();
        s.readRecords = [this](std::uint32_t first, std::uint32_t count, std::uint8_t* dst) {
            calls_.push_back({first, count});
            ASSERT_GE(first, 1u);
            ASSERT_LE(std::uint64_t{first} + count - 1, kRecords);
            std::memcpy(dst, record(first), std::size_t{count} * len_);
        };
        return s;
    }

    xb::RecordSet bruteForce(const std::string& text) {
        xb::Expr e = xb::Expr::compileCondition(text, fields_);
        xb::RecordSet s(kRecords);
        for (std::uint32_t r = 1; r <= kRecords; ++r)
            if (e.evalBool({record(r), r}) && !(xb::settings().deleted && record(r)[0] == '*'))
                s.set(r);
        return s;
    }

    // Reads come in ascending order, never overlap and never exceed a run.
    void expectOrderlyReads() {
        std::uint64_t next = 1;
        for (const ReadCall& c : calls_) {
            EXPECT_GE(c.first, next) << "read of " << c.first << " out of order";
            EXPECT_LE(std::uint64_t{c.count} * len_, 256u * 1024u);
            next = std::uint64_t{c.first} + c.count;
        }
    }

    qvtest::TempDir dir_;
    xb::FieldList fields_;
    std::size_t len_ = 0;
    std::vector<std::uint8_t> data_;
    std::unique_ptr<xb::NsxFile> index_;
    std::vector<ReadCall> calls_;
    xb::SettingsGuard guard_;
};

TEST_F(MemorySourceTest, SparseCandidatesAreReadOneByOne) {
    xb::QueryStats st;
    const xb::RecordSet got = xb::runQuery(source(), "grp=\"A\" .and. big=\"x\"", &st);
    EXPECT_EQ(got, bruteForce("grp=\"A\" .and. big=\"x\""));
    EXPECT_EQ(st.level, 1);
    EXPECT_EQ(st.recordsEvaluated, kRecords / 97);
    EXPECT_EQ(calls_.size(), kRecords / 97);
    for (const ReadCall& c : calls_)
        EXPECT_EQ(c.count, 1u);
    expectOrderlyReads();
}

TEST_F(MemorySourceTest, DenseStretchesAreReadInRuns) {
    xb::QueryStats st;
    const std::string text = "grp=\"B\" .and. big=\"y\"";
    EXPECT_EQ(xb::runQuery(source(), text, &st), bruteForce(text));
    EXPECT_EQ(st.recordsEvaluated, 1501u - 15u);  // B holds 1000..2500 but for the 15 A's
    EXPECT_LT(calls_.size(), 10u);
    EXPECT_EQ(st.recordsExamined, st.recordsEvaluated);
    expectOrderlyReads();
}

TEST_F(MemorySourceTest, EveryShapeEqualsBruteForce) {
    const std::vector<std::string> texts = {
        "big=\"z\"",
        "grp<>\"C\" .or. id>5990",
        "grp=\"A\" .or. big=\"x\"",
        ".not. grp=\"B\"",
        "grp>=\"B\" .and. (id<100 .or. id>5900) .and. .not. deleted()",
        "deleted()",
    };
    for (bool deleted : {false, true}) {
        xb::settings().deleted = deleted;
        for (const std::string& text : texts) {
            calls_.clear();
            xb::QueryStats st;
            EXPECT_EQ(xb::runQuery(source(), text, &st), bruteForce(text))
                << text << " deleted " << deleted;
            expectOrderlyReads();
            EXPECT_LE(st.recordsExamined, st.recordsRead);
        }
    }
}

}  // namespace
