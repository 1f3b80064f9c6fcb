// Engine access objects on index tags: tag selection, seek with the view
// past the end on a miss, keys of character, numeric and date tags, ranges
// and the counts the entry list takes from them, subsets, filters, pack and
// the tag a table object opens in. Part of it runs on a copy of the fixture
// catalogue.
#include <QSignalSpy>

#include <map>

#include <gtest/gtest.h>

#include "store/conversion.h"
#include "store/tapollo.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/table.h"
#include "store_test_util.h"

using storetest::errorOf;
using storetest::nameOf;

namespace {

// ---- a small table with tags made here --------------------------------------------

class TApolloIndexTest : public storetest::StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        table = makeTable();
        table->Open();
        // name, num, datum; record 4 is flagged.
        const struct {
            const char* name;
            int num;
            const char* date;
        } rows[] = {{"delta", 40, "04.01.2020"},
                    {"alpha", 10, "01.01.2020"},
                    {"echo", 50, "05.01.2020"},
                    {"bravo", 20, "02.01.2020"},
                    {"charlie", 30, "03.01.2020"}};
        for (const auto& r : rows) {
            table->Append();
            table->FieldByName(QStringLiteral("name")).setAsString(QLatin1String(r.name));
            table->FieldByName(QStringLiteral("num")).setAsInteger(r.num);
            table->FieldByName(QStringLiteral("datum")).setAsString(QLatin1String(r.date));
            table->Post();
        }
        table->setRecNo(4);
        table->Delete();
        view = std::make_unique<TDataSource>(table.get());
        apollo = std::make_unique<TApollo>(view.get());
        apollo->sx_IndexTag(QStringLiteral("namen"), QStringLiteral("upper(name)"));
        apollo->sx_IndexTag(QStringLiteral("nummer"), QStringLiteral("num"),
                            QStringLiteral("not deleted()"));
        apollo->sx_IndexTag(QStringLiteral("datum"), QStringLiteral("datum"));
    }
    // NAME of the records in the current order, first to last.
    QStringList walk() {
        QStringList out;
        for (table->First(); !table->Eof(); table->Next())
            out << nameOf(*table);
        return out;
    }

    std::unique_ptr<TTable> table;
    std::unique_ptr<TDataSource> view;
    std::unique_ptr<TApollo> apollo;
};

TEST_F(TApolloIndexTest, TagsBySelectionPositionAndName) {
    EXPECT_EQ(apollo->sx_TagCount(), 3);
    EXPECT_EQ(apollo->sx_TagName(1), QStringLiteral("NAMEN"));
    EXPECT_EQ(apollo->sx_IndexOrd(), 3);  // the last tag made is current
    EXPECT_EQ(nameOf(*table), QStringLiteral("alpha"));

    apollo->sx_SetOrder(1);
    EXPECT_EQ(walk(), QStringList({"alpha", "charlie", "delta", "echo"}));
    apollo->sx_SetOrderByName(QStringLiteral("Nummer"));
    EXPECT_EQ(apollo->sx_IndexOrd(), 2);
    table->setRecNo(3);
    apollo->sx_SetOrder(0);  // record order; the current record stays current
    EXPECT_EQ(table->RecNo(), 3);
    EXPECT_EQ(walk(), QStringList({"delta", "alpha", "echo", "charlie"}));
    apollo->sx_SetOrderByName(QString());
    EXPECT_EQ(apollo->sx_IndexOrd(), 0);

    const qv::Error e = errorOf([&] { apollo->sx_SetOrderByName(QStringLiteral("fehlt")); });
    EXPECT_EQ(e.code(), qv::ErrorCode::NotFound);
    EXPECT_EQ(e.text(), "Die Tabelle " + filePath() + " hat keinen Indextag FEHLT");
    EXPECT_EQ(errorOf([&] { apollo->sx_SetOrder(4); }).code(), qv::ErrorCode::Range);
    EXPECT_EQ(errorOf([&] { apollo->sx_TagName(0); }).code(), qv::ErrorCode::Range);
}

TEST_F(TApolloIndexTest, ChangingTheOrderPostsAnEditAndRefreshesTheViews) {
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("aaron"));
    QSignalSpy events(view.get(), &TDataSource::dataEvent);
    apollo->sx_SetOrder(1);
    EXPECT_EQ(table->state(), TTable::dsBrowse);
    ASSERT_FALSE(events.isEmpty());
    EXPECT_EQ(events.last().at(0).value<TTable::DataEvent>(), TTable::DataEvent::DataSetChange);
    EXPECT_EQ(walk().first(), QStringLiteral("aaron"));
}

TEST_F(TApolloIndexTest, ASeekHitStandsOnTheRecordAndAMissLeavesTheViewPastTheEnd) {
    apollo->sx_SetOrder(1);
    QSignalSpy changes(view.get(), &TDataSource::dataChange);
    EXPECT_TRUE(apollo->sx_Seek(QStringLiteral("CHA")));
    EXPECT_TRUE(apollo->sx_Found());
    EXPECT_EQ(nameOf(*table), QStringLiteral("charlie"));
    EXPECT_EQ(changes.count(), 1);

    // Soft seek on: the engine would stand on "delta"; the view is past the end.
    ASSERT_TRUE(TApolloEnv::softSeek());
    EXPECT_FALSE(apollo->sx_Seek(QStringLiteral("CZ")));
    EXPECT_FALSE(apollo->sx_Found());
    EXPECT_TRUE(table->Eof());
    EXPECT_EQ(apollo->sx_OrderRecNo(), 0);
    EXPECT_EQ(changes.count(), 2);
    table->Prior();
    EXPECT_EQ(nameOf(*table), QStringLiteral("echo"));  // the last record of the order

    TApolloEnv::sx_SetSoftSeek(false);
    EXPECT_FALSE(apollo->sx_Seek(QStringLiteral("ZULU")));
    EXPECT_TRUE(table->Eof());
    // Exact comparison does not change what a seek matches.
    TApolloEnv::sx_SetExact(true);
    EXPECT_TRUE(apollo->sx_Seek(QStringLiteral("ECH")));

    apollo->sx_SetOrder(0);
    EXPECT_EQ(errorOf([&] { apollo->sx_Seek(QStringLiteral("A")); }).code(), qv::ErrorCode::State);
}

TEST_F(TApolloIndexTest, SeekTextsFollowTheTagsKeyType) {
    apollo->sx_SetOrderByName(QStringLiteral("nummer"));
    EXPECT_TRUE(apollo->sx_Seek(QStringLiteral("      30")));  // as str(n,8) gives it
    EXPECT_EQ(nameOf(*table), QStringLiteral("charlie"));
    EXPECT_FALSE(apollo->sx_Seek(QStringLiteral("20")));  // flagged: not in the tag
    EXPECT_TRUE(table->Eof());
    const qv::Error e = errorOf([&] { apollo->sx_Seek(QStringLiteral("dreißig")); });
    EXPECT_EQ(e.code(), qv::ErrorCode::Conversion);
    EXPECT_EQ(e.text(), "'dreißig' ist kein gültiger Gleitkommawert");

    apollo->sx_SetOrderByName(QStringLiteral("datum"));
    EXPECT_TRUE(apollo->sx_Seek(QStringLiteral("05.01.2020")));
    EXPECT_EQ(nameOf(*table), QStringLiteral("echo"));
    EXPECT_EQ(errorOf([&] { apollo->sx_Seek(QStringLiteral("32.01.2020")); }).code(),
              qv::ErrorCode::Conversion);

    // A character tag takes the text in Windows-1252.
    table->setRecNo(1);
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("Ölfass"));
    table->Post();
    apollo->sx_SetOrder(1);
    EXPECT_TRUE(apollo->sx_Seek(QStringLiteral("ÖL")));
    EXPECT_EQ(table->RecNo(), 1);
}

TEST_F(TApolloIndexTest, RangesCountsAndOrderPositions) {
    apollo->sx_SetOrder(1);
    EXPECT_EQ(apollo->sx_Count(), 4);  // the flagged record is hidden
    apollo->sx_SetScope(QStringLiteral("B"), QStringLiteral("D"));
    EXPECT_EQ(nameOf(*table), QStringLiteral("charlie"));  // first visible in range
    EXPECT_EQ(apollo->sx_Count(), 2);
    EXPECT_EQ(apollo->sx_OrderRecNo(), 1);
    EXPECT_EQ(walk(), QStringList({"charlie", "delta"}));
    TApolloEnv::sx_SetDeleted(false);
    EXPECT_EQ(apollo->sx_Count(), 3);
    TApolloEnv::sx_SetDeleted(true);

    // An open end.
    apollo->sx_SetScope(QStringLiteral("D"), QString());
    EXPECT_EQ(walk(), QStringList({"delta", "echo"}));
    // Both ends empty lift the range without moving.
    table->Last();
    apollo->sx_SetScope(QString(), QString());
    EXPECT_EQ(nameOf(*table), QStringLiteral("echo"));
    EXPECT_EQ(apollo->sx_Count(), 4);
    EXPECT_EQ(apollo->sx_OrderRecNo(), 4);

    // A range nothing falls into leaves the view past the end.
    apollo->sx_SetScope(QStringLiteral("X"), QStringLiteral("Y"));
    EXPECT_TRUE(table->Eof());
    EXPECT_EQ(apollo->sx_Count(), 0);

    // Numeric and date ranges take numbers and date texts.
    apollo->sx_SetOrderByName(QStringLiteral("nummer"));
    apollo->sx_SetScope(QStringLiteral("15"), QStringLiteral("45"));
    EXPECT_EQ(walk(), QStringList({"charlie", "delta"}));
    apollo->sx_SetOrderByName(QStringLiteral("datum"));
    apollo->sx_SetScope(QStringLiteral("02.01.2020"), QStringLiteral("04.01.2020"));
    EXPECT_EQ(walk(), QStringList({"charlie", "delta"}));
    // Selecting a tag lifts the range.
    apollo->sx_SetOrder(3);
    EXPECT_EQ(apollo->sx_Count(), 4);
}

TEST_F(TApolloIndexTest, SubsetsAndFilters) {
    apollo->sx_SetOrder(1);
    const QString expr = QStringLiteral("num>=30");
    EXPECT_EQ(apollo->sx_QueryTest(expr), 2);  // tag nummer answers it
    EXPECT_EQ(apollo->sx_QueryTest(QStringLiteral("name=\"a\"")), 0);
    apollo->sx_Query(expr);
    EXPECT_EQ(nameOf(*table), QStringLiteral("charlie"));
    EXPECT_EQ(apollo->sx_Count(), 3);
    EXPECT_EQ(walk(), QStringList({"charlie", "delta", "echo"}));
    EXPECT_FALSE(apollo->sx_GetQueryBit(2));
    apollo->sx_SetQueryBit(2, true);
    EXPECT_TRUE(apollo->sx_GetQueryBit(2));
    EXPECT_EQ(walk(), QStringList({"alpha", "charlie", "delta", "echo"}));
    apollo->sx_Query(QString());
    EXPECT_EQ(apollo->sx_Count(), 4);
    EXPECT_EQ(errorOf([&] { apollo->sx_SetQueryBit(2, false); }).code(), qv::ErrorCode::State);

    const qv::Error e = errorOf([&] { apollo->sx_Query(QStringLiteral("upper(name)=\"AL")); });
    EXPECT_EQ(e.code(), qv::ErrorCode::Syntax);
    EXPECT_NE(e.text().find("upper(name)=\"AL"), std::string::npos) << e.text();

    table->setRecNo(1);  // delta
    apollo->sx_SetFilter(QStringLiteral("num<35"));
    EXPECT_EQ(table->RecNo(), 1);  // a filter does not move the table
    EXPECT_EQ(walk(), QStringList({"alpha", "charlie"}));
    apollo->sx_SetFilter(QString());
    EXPECT_EQ(apollo->sx_Count(), 4);
}

TEST_F(TApolloIndexTest, PackDropsFlaggedRecordsAndReindexRebuilds) {
    QSignalSpy events(view.get(), &TDataSource::dataEvent);
    apollo->sx_Pack();
    EXPECT_EQ(apollo->sx_RecCount(), 4);
    EXPECT_EQ(events.last().at(0).value<TTable::DataEvent>(), TTable::DataEvent::DataSetChange);
    apollo->sx_SetOrder(1);
    TApolloEnv::sx_SetDeleted(false);
    EXPECT_EQ(walk(), QStringList({"alpha", "charlie", "delta", "echo"}));
    apollo->sx_Reindex();
    EXPECT_EQ(apollo->sx_IndexOrd(), 1);
    EXPECT_EQ(nameOf(*table), QStringLiteral("alpha"));
    table->Close();
    table->setReadOnly(true);
    table->Open();
    EXPECT_EQ(errorOf([&] { apollo->sx_Pack(); }).code(), qv::ErrorCode::State);
}

TEST_F(TApolloIndexTest, ATableObjectOpensInItsNamedTag) {
    table->Close();
    table->setIndexName(QStringLiteral("namen"));
    table->Open();
    EXPECT_EQ(apollo->sx_IndexOrd(), 1);
    EXPECT_EQ(nameOf(*table), QStringLiteral("alpha"));

    // Set on an open table: the tag changes, the record stays.
    table->Next();
    table->setIndexName(QStringLiteral("datum"));
    EXPECT_EQ(apollo->sx_IndexOrd(), 3);
    EXPECT_EQ(nameOf(*table), QStringLiteral("charlie"));
    table->Next();
    EXPECT_EQ(nameOf(*table), QStringLiteral("delta"));

    table->Close();
    table->setIndexName(QStringLiteral("gibtsnicht"));
    const qv::Error e = errorOf([&] { table->Open(); });
    EXPECT_EQ(e.code(), qv::ErrorCode::NotFound);
    EXPECT_FALSE(table->Active());
    // The file was released again.
    table->setIndexName(QString());
    table->Open();
    EXPECT_EQ(apollo->sx_IndexOrd(), 0);
}

TEST_F(TApolloIndexTest, DeletingInATagMovesToTheNextRecordOfTheTag) {
    apollo->sx_SetOrderByName(QStringLiteral("nummer"));
    ASSERT_TRUE(apollo->sx_Seek(QStringLiteral("30")));
    table->Delete();
    EXPECT_EQ(nameOf(*table), QStringLiteral("delta"));
    EXPECT_EQ(apollo->sx_Count(), 3);
}

// ---- the fixture catalogue --------------------------------------------------------------

class CatalogueTest : public storetest::StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        qvtest::copyDirFiles(qvtest::xbaseFixtures() / "catalog", dir_.path());
        entries = makeTable(QStringLiteral("_qvdisk"));
        files = makeTable(QStringLiteral("_qvdir"));
        entries->Open();
        files->Open();
        entryView = std::make_unique<TDataSource>(entries.get());
        fileView = std::make_unique<TDataSource>(files.get());
        apollo1 = std::make_unique<TApollo>(entryView.get());
        apollo2 = std::make_unique<TApollo>(fileView.get());
    }
    // Visible file records per entry number, counted record by record.
    std::map<long, int> filesPerEntry() {
        std::map<long, int> out;
        xb::Table& t = *files->engine();
        std::string rec(t.recordLength(), ' ');
        for (std::uint32_t r = 1; r <= t.recCount(); ++r) {
            t.readRecordAt(r, reinterpret_cast<std::uint8_t*>(rec.data()));
            if (rec[0] == '*') continue;
            ++out[static_cast<long>(xb::parseNumber(std::string_view(rec).substr(1, 8)))];
        }
        return out;
    }

    std::unique_ptr<TTable> entries, files;
    std::unique_ptr<TDataSource> entryView, fileView;
    std::unique_ptr<TApollo> apollo1, apollo2;
};

TEST_F(CatalogueTest, TheFileListOfEveryEntryIsARangeCountedFromTwoPositions) {
    const std::map<long, int> expected = filesPerEntry();
    apollo1->sx_SetOrder(2);  // bezeich
    apollo2->sx_SetOrder(1);  // dirnumm
    const qint64 entryCount = apollo1->sx_Count();
    EXPECT_EQ(entryCount, 57);
    int position = 0, withoutFiles = 0;
    for (entries->First(); !entries->Eof(); entries->Next()) {
        EXPECT_EQ(apollo1->sx_OrderRecNo(), ++position);
        const QString key = apollo1->sx_EvalString(QStringLiteral("str(eindeutig,8)"));
        ASSERT_EQ(key.size(), 8);
        apollo2->sx_SetScope(key, key + QChar(0xFF));
        int count = 0;
        const qint64 p1 = apollo2->sx_OrderRecNo();
        if (p1 != 0) {
            apollo2->sx_GoBottom();
            const qint64 p2 = apollo2->sx_OrderRecNo();
            EXPECT_EQ(files->FieldByName(QStringLiteral("dirnumm")).AsString(), key);
            apollo2->sx_GoTop();
            count = static_cast<int>(p2 - p1 + 1);
        }
        EXPECT_EQ(files->FieldByName(QStringLiteral("dirnumm")).AsString(),
                  count ? key : QString(8, QLatin1Char(' ')));
        const long n = entries->FieldByName(QStringLiteral("eindeutig")).AsInteger();
        const auto it = expected.find(n);
        EXPECT_EQ(count, it == expected.end() ? 0 : it->second) << "entry " << n;
        EXPECT_EQ(apollo2->sx_Count(), count) << "entry " << n;
        if (count == 0) ++withoutFiles;
    }
    EXPECT_EQ(position, entryCount);
    EXPECT_GE(withoutFiles, 1);
}

TEST_F(CatalogueTest, ReleasingAnEntrysFileRecordsBySeekAndDirectReplace) {
    const std::map<long, int> before = filesPerEntry();
    // The entry with the most file records.
    long entry = 0;
    int most = 0;
    for (const auto& [n, c] : before)
        if (n != 99999999 && c > most) most = c, entry = n;
    ASSERT_GT(most, 1);
    const QString key = QStringLiteral("%1").arg(entry, 8);

    apollo2->sx_SetOrder(1);
    apollo2->sx_SetScope(key, key + QChar(0xFF));  // a range of the file view is no obstacle
    TApolloEnv::sx_SetSoftSeek(false);
    apollo2->sx_SetScope(QString(), QString());
    int released = 0;
    while (apollo2->sx_Seek(key)) {
        apollo2->sx_Replace(QStringLiteral("dirnumm"), TApollo::ReplaceInteger, 99999999);
        ++released;
        ASSERT_LE(released, most);
    }
    TApolloEnv::sx_SetSoftSeek(true);
    EXPECT_EQ(released, most);

    const std::map<long, int> after = filesPerEntry();
    EXPECT_EQ(after.count(entry), 0u);
    EXPECT_EQ(after.at(99999999), before.at(99999999) + most);
    apollo2->sx_SetScope(QStringLiteral("99999999"), QStringLiteral("99999999"));
    EXPECT_EQ(apollo2->sx_Count(), after.at(99999999));
}

TEST_F(CatalogueTest, AQueryNarrowsTheEntryListToItsSubset) {
    apollo1->sx_SetOrder(2);
    // Titles beginning with B in any case, by the catalogue's upper case.
    int expected = 0;
    for (entries->First(); !entries->Eof(); entries->Next()) {
        const std::string title =
            qv::toCp1252(entries->FieldByName(QStringLiteral("bezeich")).AsString());
        if (!title.empty() && xb::upper1252(static_cast<std::uint8_t>(title[0])) == 'B') ++expected;
    }
    ASSERT_GT(expected, 0);
    const QString expr = QStringLiteral("upper(bezeich)=\"B\"");
    EXPECT_EQ(apollo1->sx_QueryTest(expr), 2);
    EXPECT_EQ(apollo1->sx_QueryTest(QStringLiteral("progdsks=1")), 0);
    EXPECT_EQ(apollo1->sx_QueryTest(expr + QStringLiteral(" .and. progdsks=1")), 1);
    apollo1->sx_Query(expr);
    EXPECT_EQ(apollo1->sx_Count(), expected);
    EXPECT_EQ(apollo1->sx_OrderRecNo(), 1);
    EXPECT_TRUE(entries->FieldByName(QStringLiteral("bezeich"))
                    .AsString()
                    .startsWith(QLatin1Char('B'), Qt::CaseInsensitive));
    apollo1->sx_Query(QString());
    EXPECT_EQ(apollo1->sx_Count(), 57);
}

}  // namespace
