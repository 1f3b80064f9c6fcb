// A table read through its file's view (jumps between records) and closed
// leaves the file free at once: the view goes away after the close, the
// lock with the close.
#include <string>

#include <gtest/gtest.h>

#include "store/xbase/error.h"
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

}  // namespace
