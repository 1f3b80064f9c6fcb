// The formats' size limits: a commit that would take the table, memo or
// index file past its limit is refused with a German error naming the file
// and the limit, and every file stays byte for byte as it was.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "store/xbase/error.h"
#include "store/xbase/limits.h"
#include "store/xbase/mem_env.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_check.h"
#include "store/xbase/table_index.h"
#include "xbase_test_util.h"

namespace {

const std::string kPath = "_qvdir.dbf";

using Files = std::map<std::string, std::vector<std::uint8_t>>;

Files filesOf(const xb::MemEnv& env) {
    Files out;
    for (const std::string& name : env.fileNames())
        out[name] = env.fileBytes(name);
    return out;
}

class FileLimitsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        xb::TableBuilder b(kPath, env);
        for (const xbtest::FieldDef& f : xbtest::layoutOf("_qvdir"))
            b.addField(f.name, f.type, f.width, f.dec);
        b.create();
        t = xb::Table::open(kPath, xb::OpenMode::Exclusive, env);
        for (int i = 1; i <= 50; ++i)
            appendOne(i);
        t->index().indexTag("dirnumm", "str(dirnumm,8)+dirpfad");
        t->index().indexTag("namealle", "upper(dirname+direndung)+str(dirnumm,8)");
        t->flush();
    }

    void appendOne(int i) {
        t->append();
        t->replaceNumber(0, i);
        t->replaceText(1, "N" + std::to_string(i));
        t->replaceText(3, "\\p\\" + std::to_string(i));
        t->replaceMemo(7, "memo " + std::to_string(i));
        t->commitRecord();
    }

    // Commits the hot record, expecting the limit error; the files stay as
    // they were and, after the change is dropped, the table works on. The
    // caller flushed before making the record hot, so that no header write
    // is pending.
    void expectRefused(const std::string& file, const std::string& limitText) {
        const Files before = filesOf(env);
        const std::uint32_t count = t->recCount();
        try {
            t->commitRecord();
            FAIL() << "the commit went through";
        } catch (const qv::Error& e) {
            EXPECT_EQ(e.code(), qv::ErrorCode::IoError);
            EXPECT_EQ(e.file(), file);
            EXPECT_NE(e.text().find(file + " kann nicht weiter wachsen"), std::string::npos)
                << e.text();
            EXPECT_NE(e.text().find(limitText), std::string::npos) << e.text();
        }
        EXPECT_EQ(filesOf(env), before);
        t->discard();
        EXPECT_EQ(t->recCount(), count);
        EXPECT_TRUE(xb::checkIndex(*t).empty());
        EXPECT_EQ(xbtest::checkMemoStructure(*t), "");
    }

    xb::FileLimitsGuard guard;
    xb::MemEnv env;
    std::unique_ptr<xb::Table> t;
};

TEST_F(FileLimitsTest, AnAppendPastTheTableLimitIsRefusedBeforeAnyWrite) {
    const std::uint64_t size = env.fileBytes(kPath).size();
    // Room for one more record, not for two.
    xb::fileLimits().tableBytes = size + t->recordLength();
    appendOne(51);
    t->flush();
    t->append();
    t->replaceNumber(0, 52);
    t->replaceMemo(7, "neu");
    expectRefused(kPath, "höchstens " + xb::sizeText(size + t->recordLength()));
    // Changing a record does not grow the table: still allowed.
    t->go(3);
    t->replaceText(1, "GEAENDERT");
    t->commitRecord();
    EXPECT_TRUE(xb::checkIndex(*t).empty());
}

TEST_F(FileLimitsTest, AMemoPastTheBlockLimitIsRefusedBeforeAnyWrite) {
    const std::uint32_t next = t->smtFile()->nextFreeBlock();
    xb::fileLimits().memoBlocks = next + 4;
    t->go(6);
    t->replaceMemo(7, std::string(4 * 64, 'a'));  // four new blocks: just fits
    t->commitRecord();
    t->flush();
    t->go(7);
    t->replaceMemo(7, std::string(200, 'b'));
    expectRefused("_qvdir.smt", "höchstens " + std::to_string(next + 4) + " Blöcke");
}

TEST_F(FileLimitsTest, AnIndexThatCouldNotSplitIsRefusedBeforeAnyWrite) {
    const std::uint64_t size = env.fileBytes("_qvdir.nsx").size();
    xb::fileLimits().indexBytes = size;
    t->go(4);
    t->replaceText(1, "ANDERS");
    expectRefused("_qvdir.nsx", "höchstens " + xb::sizeText(size));
    t->flush();
    t->append();
    t->replaceNumber(0, 99);
    expectRefused("_qvdir.nsx", "höchstens");

    // A bulk build that runs out of room leaves the index as it was.
    const Files before = filesOf(env);
    EXPECT_THROW(t->index().indexTag("pfad", "upper(dirpfad)"), qv::Error);
    EXPECT_EQ(filesOf(env), before);
    EXPECT_EQ(t->index().tagCount(), 2);
    EXPECT_TRUE(xb::checkIndex(*t).empty());
}

TEST(FileLimitTexts, WholeGibibytesAndGroupedBytes) {
    EXPECT_EQ(xb::sizeText((std::uint64_t{1} << 31) - 1), "2 GiB");
    EXPECT_EQ(xb::sizeText(0xFFFFFC00u), "4 GiB");
    EXPECT_EQ(xb::sizeText(10240), "10.240 Bytes");
    EXPECT_EQ(xb::sizeText(999), "999 Bytes");
}

}  // namespace
