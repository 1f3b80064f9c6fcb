// A table read through its file's view (jumps between records) and closed
// leaves the file free at once: the view goes away after the close, the
// lock with the close. Index pages read through a view are the file's
// bytes, also after it grew, was written again or was cut.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/env.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_cache.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "support/testutil.h"
#include "xbase_test_util.h"

namespace {

TEST(FileView, AClosedReaderLeavesTheFileToTheNextExclusiveOpenerAtOnce) {
    qvtest::TempDir dir;
    const std::string path = (dir / "_qvdir.dbf").string();
    xbtest::createTable(path, xbtest::layoutOf("_qvdir"));
    {
        auto t = xb::Table::open(path);
        for (int i = 1; i <= 400; ++i) {
            t->append();
            t->replaceNumber(5, i);
        }
        t->close();
    }
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        {
            auto reader = xb::Table::open(path, xb::OpenMode::ReadOnly);
            // Jumps go through the view.
            for (std::uint32_t r : {7u, 390u, 120u, 333u, 2u}) {
                reader->go(r);
                ASSERT_EQ(reader->number(5), static_cast<double>(r));
            }
            // Held: an exclusive opener is kept out meanwhile.
            try {
                xb::Table::open(path);
                ADD_FAILURE() << "opened exclusively beside a reader";
            } catch (const qv::Error& e) {
                EXPECT_EQ(e.code(), qv::ErrorCode::Locked);
            }
        }
        auto writer = xb::Table::open(path);  // throws Locked if the lock lingered
        writer->go(200 + static_cast<std::uint32_t>(round));
        writer->replaceNumber(5, -round);
        writer->close();
        auto check = xb::Table::open(path, xb::OpenMode::ReadOnly);
        check->go(200 + static_cast<std::uint32_t>(round));
        EXPECT_EQ(check->number(5), static_cast<double>(-round));
    }
}

TEST(FileView, IndexPagesReadThroughTheViewAreWhatTheFileHolds) {
    qvtest::TempDir dir;
    const std::string path = (dir / "view.nsx").string();
    xb::Env& env = xb::Env::posix();
    {
        const std::vector<std::uint8_t> root(xb::nsx::kPageSize, 0);
        env.create(path)->writeAt(0, root.data(), root.size());
    }
    xb::nsx::PageCache cache(env.open(path, xb::FileAccess::WriteExclusive));
    cache.setBudget(0);  // the smallest cache: nearly every page comes from the file
    const auto byte = [](std::uint32_t page, int gen, std::size_t i) {
        return static_cast<std::uint8_t>(page * 31 + i * 7 + static_cast<std::size_t>(gen) * 101);
    };
    const auto write = [&](std::uint32_t from, std::uint32_t to, int gen) {
        for (std::uint32_t k = from; k <= to; ++k) {
            xb::nsx::Page* p = cache.create(k * xb::nsx::kPageSize);
            for (std::size_t i = 0; i < xb::nsx::kPageSize; ++i)
                p->data[i] = byte(k, gen, i);
            cache.writeDirty();
        }
        cache.discardAll();
    };
    // Scattered, as seeks read them; past the first few through the view.
    const auto expectPages = [&](std::uint32_t from, std::uint32_t to, int gen) {
        const std::uint32_t n = to - from + 1;
        for (std::uint32_t i = 0; i < n; ++i) {
            const std::uint32_t k = from + (i * 37) % n;
            const xb::nsx::Page* p = cache.get(k * xb::nsx::kPageSize);
            for (std::size_t b = 0; b < xb::nsx::kPageSize; ++b)
                ASSERT_EQ(p->data[b], byte(k, gen, b)) << "page " << k << " byte " << b;
        }
    };
    write(1, 300, 0);
    expectPages(1, 300, 0);
    write(301, 400, 1);  // the file grows after the view was made
    write(100, 120, 2);  // and pages in it change
    cache.discardAll();
    expectPages(301, 400, 1);
    expectPages(100, 120, 2);
    expectPages(1, 99, 0);
    // Cut: a page past the new end is reported, never read through the view.
    cache.truncate(201 * xb::nsx::kPageSize);
    cache.discardAll();
    expectPages(121, 200, 0);
    try {
        cache.get(250 * xb::nsx::kPageSize);
        ADD_FAILURE() << "a page past the end was read";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::Corrupt);
    }
}

}  // namespace
