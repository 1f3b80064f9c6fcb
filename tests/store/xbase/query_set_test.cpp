// RecordSet against a std::set model: members, counts, ranks, walking both
// ways and the set operations, at the word boundaries and at random.
#include <cstdint>
#include <random>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/error.h"
#include "store/xbase/query_set.h"
#include "support/testutil.h"

namespace {

using Model = std::set<std::uint32_t>;

Model modelOf(const xb::RecordSet& s) {
    Model m;
    for (std::uint32_t r = 1; r <= s.size(); ++r)
        if (s.test(r)) m.insert(r);
    return m;
}

// Everything a set answers, checked against the model.
void expectMatches(const xb::RecordSet& s, const Model& m, std::uint32_t size) {
    ASSERT_EQ(s.size(), size);
    ASSERT_EQ(modelOf(s), m);
    EXPECT_FALSE(s.test(0));
    EXPECT_FALSE(s.test(size + 1));
    EXPECT_EQ(s.count(), m.size());
    EXPECT_EQ(s.none(), m.empty());
    EXPECT_EQ(s.all(), m.size() == size);
    EXPECT_EQ(s.toVector(), std::vector<std::uint32_t>(m.begin(), m.end()));
    EXPECT_EQ(s.first(), m.empty() ? 0u : *m.begin());
    EXPECT_EQ(s.last(), m.empty() ? 0u : *m.rbegin());
    // Walking both ways from every position.
    for (std::uint32_t r = 0; r <= size + 1; ++r) {
        auto up = m.upper_bound(r);
        EXPECT_EQ(s.next(r), up == m.end() ? 0u : *up) << "next(" << r << ")";
        auto low = m.lower_bound(r);
        EXPECT_EQ(s.prev(r), low == m.begin() ? 0u : *std::prev(low)) << "prev(" << r << ")";
        EXPECT_EQ(s.rank(r), static_cast<std::uint64_t>(std::distance(m.begin(), up)));
    }
    std::uint64_t k = 0;
    for (std::uint32_t r : m)
        EXPECT_EQ(s.select(++k), r);
    EXPECT_EQ(s.select(0), 0u);
    EXPECT_EQ(s.select(k + 1), 0u);
}

TEST(RecordSet, EmptyAndFullAtWordBoundaries) {
    for (std::uint32_t size : {0u, 1u, 63u, 64u, 65u, 127u, 128u, 129u, 1000u}) {
        SCOPED_TRACE(size);
        Model all;
        for (std::uint32_t r = 1; r <= size; ++r)
            all.insert(r);
        expectMatches(xb::RecordSet(size), {}, size);
        expectMatches(xb::RecordSet(size, true), all, size);
        xb::RecordSet s(size);
        s.setAll();
        expectMatches(s, all, size);
        s.complement();
        expectMatches(s, {}, size);
        s.complement();
        s.clear();
        expectMatches(s, {}, size);
    }
}

TEST(RecordSet, RangesAndCountsAcrossWords) {
    struct Case {
        std::uint32_t first, last;
    };
    const Case cases[] = {{1, 1},    {1, 64},    {64, 65},   {63, 129}, {2, 199},
                          {65, 128}, {130, 200}, {100, 100}, {1, 200}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.first) + ".." + std::to_string(c.last));
        xb::RecordSet s(200);
        s.setRange(c.first, c.last);
        Model m;
        for (std::uint32_t r = c.first; r <= c.last; ++r)
            m.insert(r);
        expectMatches(s, m, 200);
        for (std::uint32_t a = 1; a <= 200; a += 13)
            for (std::uint32_t b = a; b <= 210; b += 17) {
                std::uint64_t want = 0;
                for (std::uint32_t r : m)
                    if (r >= a && r <= b) ++want;
                EXPECT_EQ(s.countRange(a, b), want) << a << ".." << b;
            }
        EXPECT_EQ(s.countRange(0, 300), m.size());
        EXPECT_EQ(s.countRange(50, 10), 0u);
    }
}

TEST(RecordSet, SetOutsideTheRangeIsARangeError) {
    xb::RecordSet s(10);
    for (std::uint32_t r : {0u, 11u, 4000000000u}) {
        try {
            s.set(r);
            ADD_FAILURE() << "set(" << r << ") accepted";
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::Range);
        }
    }
    EXPECT_TRUE(s.none());
}

TEST(RecordSet, ResizeKeepsMembersAndFillsOrDrops) {
    xb::RecordSet s(70);
    s.set(3);
    s.set(64);
    s.set(70);
    s.resize(130, true);
    Model m = {3, 64};
    for (std::uint32_t r = 70; r <= 130; ++r)
        m.insert(r);
    expectMatches(s, m, 130);
    s.resize(65);
    expectMatches(s, {3, 64}, 65);
    // Growing again without filling must not bring back the dropped members.
    s.resize(140);
    expectMatches(s, {3, 64}, 140);
}

TEST(RecordSet, OperationsMatchTheModelOnRandomSets) {
    std::mt19937_64 rng(qvtest::testSeed());
    for (int round = 0; round < 200; ++round) {
        const std::uint32_t na = static_cast<std::uint32_t>(rng() % 300);
        const std::uint32_t nb = round % 3 == 0 ? static_cast<std::uint32_t>(rng() % 300) : na;
        const unsigned densityA = static_cast<unsigned>(rng() % 5),
                       densityB = static_cast<unsigned>(rng() % 5);
        xb::RecordSet a(na), b(nb);
        Model ma, mb;
        for (std::uint32_t r = 1; r <= na; ++r)
            if (rng() % 4 < densityA) a.set(r), ma.insert(r);
        for (std::uint32_t r = 1; r <= nb; ++r)
            if (rng() % 4 < densityB) b.set(r), mb.insert(r);
        SCOPED_TRACE("round " + std::to_string(round));
        expectMatches(a, ma, na);

        Model uni = ma, inter, diff;
        uni.insert(mb.begin(), mb.end());
        for (std::uint32_t r : ma)
            (mb.count(r) ? inter : diff).insert(r);
        expectMatches(a | b, uni, std::max(na, nb));
        expectMatches(a & b, inter, na);
        expectMatches(a - b, diff, na);

        xb::RecordSet c = a;
        c.complement();
        Model comp;
        for (std::uint32_t r = 1; r <= na; ++r)
            if (!ma.count(r)) comp.insert(r);
        expectMatches(c, comp, na);
        EXPECT_EQ(c == a, na == 0);

        if (na) {
            const std::uint32_t r = 1 + static_cast<std::uint32_t>(rng() % na);
            xb::RecordSet d = a;
            d.reset(r);
            ma.erase(r);
            expectMatches(d, ma, na);
        }
    }
}

TEST(RecordSet, MillionsOfRecords) {
    const std::uint32_t n = 3'000'000;
    xb::RecordSet evens(n), thirds(n);
    for (std::uint32_t r = 2; r <= n; r += 2)
        evens.set(r);
    for (std::uint32_t r = 3; r <= n; r += 3)
        thirds.set(r);
    EXPECT_EQ(evens.count(), n / 2);
    xb::RecordSet sixths = evens & thirds;
    EXPECT_EQ(sixths.count(), n / 6);
    EXPECT_EQ(sixths.first(), 6u);
    EXPECT_EQ(sixths.last(), n);
    EXPECT_EQ(sixths.select(100'000), 600'000u);
    EXPECT_EQ(sixths.rank(600'000), 100'000u);
    EXPECT_EQ((evens | thirds).count(), n / 2 + n / 3 - n / 6);
    std::uint64_t walked = 0;
    for (std::uint32_t r = sixths.last(); r; r = sixths.prev(r))
        ++walked;
    EXPECT_EQ(walked, n / 6);
}

}  // namespace
