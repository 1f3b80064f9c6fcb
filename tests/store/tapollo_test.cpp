// Engine access objects and the engine-wide settings: replace with its type
// codes through the buffer or directly, expression evaluation, moves, whole
// records and the commit.
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "store/tapollo.h"
#include "store/tapolloenv.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "store_test_util.h"

using storetest::errorOf;
using storetest::nameOf;
using storetest::recordInFile;

namespace {

class TApolloTest : public storetest::StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        fill(4);
        table = makeTable();
        table->Open();
        view = std::make_unique<TDataSource>(table.get());
        apollo = std::make_unique<TApollo>(view.get());
    }
    std::string fileField(int recno, std::size_t offset, std::size_t len) const {
        return recordInFile(filePath(), recno).substr(offset, len);
    }

    std::unique_ptr<TTable> table;
    std::unique_ptr<TDataSource> view;
    std::unique_ptr<TApollo> apollo;
};

TEST_F(TApolloTest, ReplaceInBrowseStateWritesTheRecordAtOnce) {
    table->setRecNo(2);
    QSignalSpy changes(view.get(), &TDataSource::dataChange);
    apollo->sx_Replace(QStringLiteral("NUM"), TApollo::ReplaceInteger, 99999);
    EXPECT_EQ(table->state(), TTable::dsBrowse);
    EXPECT_EQ(fileField(2, 11, 5), "99999");
    EXPECT_EQ(changes.count(), 1);
    apollo->sx_Replace(QStringLiteral("name"), TApollo::ReplaceText, QStringLiteral("Straße"));
    EXPECT_EQ(fileField(2, 1, 10),
              "Stra\xDF"
              "e    ");
    EXPECT_EQ(table->FieldByName(QStringLiteral("name")).AsString().trimmed(),
              QStringLiteral("Straße"));
}

TEST_F(TApolloTest, ReplaceInEditOrInsertStateGoesThroughTheBuffer) {
    table->Edit();
    QSignalSpy changes(view.get(), &TDataSource::dataChange);
    apollo->sx_Replace(QStringLiteral("big"), TApollo::ReplaceLong, QStringLiteral("4294967295"));
    ASSERT_EQ(changes.count(), 1);
    EXPECT_EQ(changes.at(0).at(0).toInt(), 2);
    EXPECT_EQ(table->state(), TTable::dsEdit);
    EXPECT_EQ(fileField(1, 16, 10), std::string(10, ' '));  // not yet in the file
    table->Post();
    EXPECT_EQ(fileField(1, 16, 10), "4294967295");

    table->Append();
    apollo->sx_Replace(QStringLiteral("name"), TApollo::ReplaceText, QStringLiteral("neu"));
    apollo->sx_Replace(QStringLiteral("datum"), TApollo::ReplaceDateText,
                       QStringLiteral("01.03.2024"));
    EXPECT_EQ(recordInFile(filePath(), 5), "");
    table->Post();
    EXPECT_EQ(fileField(5, 26, 8), "20240301");
    EXPECT_EQ(nameOf(*table), QStringLiteral("neu"));
}

TEST_F(TApolloTest, ReplaceConvertsEachTypeCode) {
    struct Case {
        const char* field;
        int type;
        QVariant value;
        std::size_t offset, len;
        std::string stored;
    };
    const Case cases[] = {
        {"num", TApollo::ReplaceInteger, 42, 11, 5, "   42"},
        {"num", TApollo::ReplaceLong, QStringLiteral(" -7 "), 11, 5, "   -7"},
        {"num", TApollo::ReplaceText, QStringLiteral("123"), 11, 5, "  123"},
        {"name", TApollo::ReplaceInteger, 17, 1, 10, "17        "},
        {"name", TApollo::ReplaceText, QStringLiteral("abcdefghijkl"), 1, 10, "abcdefghij"},
        {"name", TApollo::ReplaceText, QStringLiteral("€ und \u03A9"), 1, 10, "\x80 und ?   "},
        {"datum", TApollo::ReplaceDateText, QStringLiteral("29.02.2024"), 26, 8, "20240229"},
        {"datum", TApollo::ReplaceText, QStringLiteral("31.12.1999"), 26, 8, "19991231"},
        {"datum", TApollo::ReplaceDateText, QStringLiteral(""), 26, 8, "        "},
    };
    for (const Case& c : cases) {
        apollo->sx_Replace(QLatin1String(c.field), c.type, c.value);
        EXPECT_EQ(fileField(1, c.offset, c.len), c.stored) << c.field << " " << c.type;
    }
}

TEST_F(TApolloTest, ReplaceRefusesBadValuesAndLeavesTheRecordAlone) {
    const std::string before = recordInFile(filePath(), 1);
    struct Case {
        const char* field;
        int type;
        QVariant value;
        qv::ErrorCode code;
        std::string text;
    };
    const Case cases[] = {
        {"num", TApollo::ReplaceInteger, QStringLiteral("x1"), qv::ErrorCode::Conversion,
         "'x1' ist kein gültiger Integerwert"},
        {"num", TApollo::ReplaceText, QStringLiteral("zwölf"), qv::ErrorCode::Conversion,
         "'zwölf' ist kein gültiger Integerwert"},
        {"datum", TApollo::ReplaceDateText, QStringLiteral("30.02.2024"), qv::ErrorCode::Conversion,
         "'30.02.2024' ist kein gültiges Datum"},
        {"num", 3, 1, qv::ErrorCode::InvalidArgument, "sx_Replace kennt den Typ 3 nicht"},
        {"fehlt", TApollo::ReplaceText, QStringLiteral("a"), qv::ErrorCode::NotFound,
         "Die Tabelle " + filePath() + " hat kein Feld FEHLT"},
        {"datum", TApollo::ReplaceInteger, 5, qv::ErrorCode::InvalidArgument, ""},
        {"name", TApollo::ReplaceDateText, QStringLiteral("01.01.2000"),
         qv::ErrorCode::InvalidArgument, ""},
    };
    for (const Case& c : cases) {
        const qv::Error e =
            errorOf([&] { apollo->sx_Replace(QLatin1String(c.field), c.type, c.value); });
        EXPECT_EQ(e.code(), c.code) << c.field << " " << c.type;
        if (!c.text.empty()) {
            EXPECT_EQ(e.text(), c.text);
        }
    }
    EXPECT_EQ(recordInFile(filePath(), 1), before);
    EXPECT_FALSE(table->engine()->isHot());
}

TEST_F(TApolloTest, ReplaceNeedsAWritableTableAndACurrentRecord) {
    table->setRecNo(0);
    EXPECT_EQ(errorOf([&] { apollo->sx_Replace(QStringLiteral("num"), 1, 1); }).code(),
              qv::ErrorCode::State);
    table->Close();
    table->setReadOnly(true);
    table->Open();
    const qv::Error e = errorOf([&] { apollo->sx_Replace(QStringLiteral("num"), 1, 1); });
    EXPECT_EQ(e.code(), qv::ErrorCode::State);
    EXPECT_NE(e.text().find("schreibgeschützt"), std::string::npos);

    TApollo unbound;
    EXPECT_EQ(errorOf([&] { unbound.sx_RecCount(); }).code(), qv::ErrorCode::State);
    EXPECT_EQ(unbound.table(), nullptr);
}

TEST_F(TApolloTest, EvaluatesExpressionsOnTheCurrentRecord) {
    table->setRecNo(3);
    table->Edit();
    table->FieldByName(QStringLiteral("datum")).setAsString(QStringLiteral("05.06.2007"));
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("Äpfel"));
    // The buffer of the record being edited counts.
    struct Case {
        const char* expr;
        QString value;
    };
    const Case cases[] = {
        {"str(num,8)", QStringLiteral("       3")},
        {"alltrim(str(num+1,5))", QStringLiteral("4")},
        {"num", QStringLiteral("    3")},         // str() of a field: its own width
        {"num*2", QStringLiteral("         6")},  // a computed number: ten places
        {"name", QStringLiteral("Äpfel     ")},
        {"upper(name)", QStringLiteral("ÄPFEL     ")},
        {"datum", QStringLiteral("05.06.2007")},
        {"datum+1", QStringLiteral("06.06.2007")},
        {"dtos(datum)", QStringLiteral("20070605")},
        {"num=3 .and. .not. deleted()", QStringLiteral(".T.")},
        {"recno()>3", QStringLiteral(".F.")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(apollo->sx_EvalString(QLatin1String(c.expr)), c.value) << c.expr;

    const qv::Error e = errorOf([&] { apollo->sx_EvalString(QStringLiteral("upper(name)=\"ab")); });
    EXPECT_EQ(e.code(), qv::ErrorCode::Syntax);
    EXPECT_NE(e.text().find("upper(name)=\"ab"), std::string::npos) << e.text();
}

TEST_F(TApolloTest, MovesAndPositions) {
    table->Close();
    fill(1, {5});
    table->Open();
    EXPECT_EQ(apollo->sx_RecCount(), 5);
    apollo->sx_Go(5);  // stands on a deleted record
    EXPECT_EQ(apollo->sx_RecNo(), 5);
    EXPECT_FALSE(apollo->sx_Eof());
    apollo->sx_GoTop();
    apollo->sx_Skip(2);
    EXPECT_EQ(apollo->sx_RecNo(), 3);
    apollo->sx_GoBottom();  // deleted records are skipped
    EXPECT_EQ(apollo->sx_RecNo(), 4);
    apollo->sx_Skip(1);
    EXPECT_TRUE(apollo->sx_Eof());
    apollo->sx_Skip(-9);
    EXPECT_TRUE(apollo->sx_Bof());
    EXPECT_EQ(apollo->sx_RecNo(), 1);
    apollo->sx_Go(77);
    EXPECT_TRUE(apollo->sx_Eof());
}

TEST_F(TApolloTest, MovesPostAnEditFirst) {
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("gesichert"));
    apollo->sx_Go(3);
    EXPECT_EQ(table->state(), TTable::dsBrowse);
    EXPECT_EQ(fileField(1, 1, 10), "gesichert ");
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("auch"));
    apollo->sx_Skip(1);
    EXPECT_EQ(fileField(3, 1, 10), "auch      ");
}

TEST_F(TApolloTest, WholeRecordsCopiedDirectlyKeepTheirOwnMemos) {
    table->setRecNo(1);
    table->Edit();
    table->FieldByName(QStringLiteral("notiz")).setMemoText(QStringLiteral("erster Text"));
    table->Post();
    const QByteArray record = apollo->sx_GetRecord();

    apollo->sx_Go(4);
    apollo->sx_PutRecord(record);  // browse state: written at once
    EXPECT_EQ(table->state(), TTable::dsBrowse);
    EXPECT_EQ(fileField(4, 1, 10), "r1        ");
    EXPECT_EQ(table->FieldByName(QStringLiteral("notiz")).memoText(),
              QStringLiteral("erster Text"));
    apollo->sx_Replace(QStringLiteral("notiz"), TApollo::ReplaceText, QStringLiteral("vierter"));
    apollo->sx_Go(1);
    EXPECT_EQ(table->FieldByName(QStringLiteral("notiz")).memoText(),
              QStringLiteral("erster Text"));

    table->Append();
    apollo->sx_PutRecord(record);  // insert state: into the buffer
    EXPECT_EQ(table->state(), TTable::dsInsert);
    EXPECT_EQ(recordInFile(filePath(), 5), "");
    table->Post();
    EXPECT_EQ(fileField(5, 1, 10), "r1        ");
}

TEST_F(TApolloTest, CommitPostsAndBringsTheHeaderUpToDate) {
    table->Append();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("fünf"));
    apollo->sx_Commit();
    EXPECT_EQ(table->state(), TTable::dsBrowse);
    EXPECT_EQ(storetest::headerCount(filePath()), 5);
    EXPECT_EQ(fileField(5, 1, 10), "f\xFCnf      ");
}

// ---- engine-wide settings -----------------------------------------------------------------

TEST(TApolloEnvTest, TheProgramDefaultsAndSettersThatReturnThePreviousValue) {
    xb::SettingsGuard guard;
    xb::settings() = xb::Settings{};
    xb::settings().exact = true;
    TApolloEnv env;
    EXPECT_EQ(env.objectName(), QStringLiteral("ApolloEnv"));
    TApolloEnv::setProgramDefaults();
    EXPECT_TRUE(TApolloEnv::century());
    EXPECT_EQ(TApolloEnv::dateFormat(), TApolloEnv::German);
    EXPECT_TRUE(TApolloEnv::softSeek());
    EXPECT_TRUE(TApolloEnv::deleted());
    EXPECT_FALSE(TApolloEnv::exact());
    EXPECT_EQ(xb::formatDate(2460669), "24.12.2024");

    EXPECT_TRUE(TApolloEnv::sx_SetSoftSeek(false));
    EXPECT_FALSE(xb::settings().softSeek);
    EXPECT_FALSE(TApolloEnv::sx_SetSoftSeek(true));
    EXPECT_FALSE(TApolloEnv::sx_SetExact(true));
    EXPECT_TRUE(xb::settings().exact);
    EXPECT_TRUE(TApolloEnv::sx_SetDeleted(false));
    EXPECT_FALSE(xb::settings().deleted);
    EXPECT_TRUE(TApolloEnv::sx_SetCentury(false));
    EXPECT_EQ(TApolloEnv::sx_SetDateFormat(TApolloEnv::American), TApolloEnv::German);
    EXPECT_EQ(xb::formatDate(2460669), "12/24/24");
}

}  // namespace
