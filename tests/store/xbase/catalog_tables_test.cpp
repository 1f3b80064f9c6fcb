// The catalogue's table layouts against the engine: every table can be made
// from its layout, every tag's expression holds over its fields, and the
// index definitions worked out from the layout alone are the ones the engine
// writes when it builds the tags on a real table.
#include <gtest/gtest.h>

#include "store/tables/cataloguetables.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/table.h"

namespace {

TEST(CatalogueTables, EveryLayoutMakesItsTableAndTheEngineAgreesWithItsTagDefinitions) {
    for (const qv::tables::Layout& l : qv::tables::kLayouts) {
        SCOPED_TRACE(std::string(l.dataFile));
        xb::MemEnv env;
        const std::string path = "/cat/" + std::string(l.dataFile);
        auto t = qv::tables::createIndexedTable(l, path, env);
        ASSERT_EQ(t->fieldCount(), l.fields.size());
        for (std::size_t i = 0; i < l.fields.size(); ++i) {
            EXPECT_EQ(qv::tables::fieldPosition(l, l.fields[i].name), static_cast<int>(i));
            EXPECT_EQ(t->fieldIndex(l.fields[i].name), static_cast<int>(i));
        }
        ASSERT_NE(t->indexFile(), nullptr);
        const std::vector<xb::NsxTagDef> built = t->indexFile()->tagDefs();
        const std::vector<xb::NsxTagDef> described = qv::tables::tagDefs(l);
        ASSERT_EQ(built.size(), described.size());
        for (std::size_t i = 0; i < built.size(); ++i) {
            SCOPED_TRACE(built[i].name);
            EXPECT_EQ(built[i].name, described[i].name);
            EXPECT_EQ(built[i].keyExpr, described[i].keyExpr);
            EXPECT_EQ(built[i].forExpr, described[i].forExpr);
            EXPECT_EQ(built[i].keyType, described[i].keyType);
            EXPECT_EQ(built[i].keyLen, described[i].keyLen);
            EXPECT_EQ(qv::tables::tagPosition(l, l.tags[i].name), static_cast<int>(i));
        }
        t->close();
        EXPECT_TRUE(env.exists("/cat/" + std::string(l.indexFile)));
    }
    // The file table's keys as the program's lists rely on them.
    const auto files = qv::tables::tagDefs(qv::tables::layoutOf(qv::CatalogueTable::Files));
    ASSERT_EQ(files.size(), 3u);
    EXPECT_EQ(files[0].keyLen, 94);
    EXPECT_EQ(files[1].keyLen, 26);
    EXPECT_EQ(files[2].keyLen, 26);
    EXPECT_EQ(qv::tables::tagPosition(qv::tables::layoutOf(qv::CatalogueTable::Files), "NAMEALLE"),
              1);
    EXPECT_EQ(
        qv::tables::fieldPosition(qv::tables::layoutOf(qv::CatalogueTable::Files), "gibtsnicht"),
        -1);
}

}  // namespace
