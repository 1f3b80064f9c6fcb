// The table object: opening and exclusive use, navigation, the states with
// their posts and cancels, field values and their conversions, whole-record
// copies and the field display definitions.
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "store/ttable.h"
#include "store_test_util.h"

using storetest::errorOf;
using storetest::nameOf;
using storetest::recordInFile;

namespace {

// Record layout of karten.dbf: flag, NAME at 1 (10), NUM at 11 (5), BIG at
// 16 (10), DATUM at 26 (8), FLAG at 34 (1), NOTIZ at 35 (10).
std::string nameInFile(const std::string& rec) {
    std::string s = rec.substr(1, 10);
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

class TTableTest : public storetest::StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        fill(5);
        table = makeTable();
    }
    std::unique_ptr<TTable> table;
};

// ---- opening ----------------------------------------------------------------------

TEST_F(TTableTest, OpensTheNamedFileAndStandsOnTheFirstRecord) {
    EXPECT_FALSE(table->Active());
    EXPECT_EQ(table->state(), TTable::dsInactive);
    EXPECT_EQ(table->TableType(), QStringLiteral("ttSXNSX"));
    EXPECT_EQ(table->filePath(), dir() + QStringLiteral("/karten.dbf"));
    table->Open();
    EXPECT_TRUE(table->Active());
    EXPECT_EQ(table->state(), TTable::dsBrowse);
    EXPECT_EQ(table->RecNo(), 1);
    EXPECT_EQ(table->RecordCount(), 5);
    EXPECT_EQ(nameOf(*table), QStringLiteral("r1"));

    // A name with its extension and a directory with a trailing separator.
    table->Close();
    table->setTableName(QStringLiteral("karten.dbf"));
    table->setDatabaseName(dir() + QLatin1Char('/'));
    EXPECT_EQ(table->filePath(), dir() + QStringLiteral("/karten.dbf"));
    table->setActive(true);
    EXPECT_EQ(table->RecordCount(), 5);
}

TEST_F(TTableTest, OpeningAnOpenTableChangesNothing) {
    table->Open();
    table->Last();
    QSignalSpy events(table.get(), &TTable::dataEvent);
    table->Open();
    EXPECT_EQ(events.count(), 0);
    EXPECT_EQ(table->RecNo(), 5);
}

TEST_F(TTableTest, RefusesAnotherTableTypeAndMissingNames) {
    table->setTableType(QStringLiteral("ttDBase"));
    EXPECT_EQ(errorOf([&] { table->Open(); }).code(), qv::ErrorCode::InvalidArgument);
    EXPECT_FALSE(table->Active());

    auto unnamed = std::make_unique<TTable>();
    EXPECT_EQ(errorOf([&] { unnamed->Open(); }).code(), qv::ErrorCode::InvalidArgument);

    auto missing = makeTable(QStringLiteral("fehlt"));
    const qv::Error e = errorOf([&] { missing->Open(); });
    EXPECT_EQ(e.code(), qv::ErrorCode::NotFound);
    EXPECT_NE(e.text().find("fehlt.dbf"), std::string::npos) << e.text();
}

TEST_F(TTableTest, FileNamingPropertiesAreFixedWhileOpen) {
    table->Open();
    for (const auto& set : std::vector<std::function<void()>>{
             [&] { table->setDatabaseName(QStringLiteral("/tmp")); },
             [&] { table->setTableName(QStringLiteral("x")); }, [&] { table->setReadOnly(true); },
             [&] { table->setExclusive(false); },
             [&] { table->setTableType(QStringLiteral("ttSXNSX")); }})
        EXPECT_EQ(errorOf(set).code(), qv::ErrorCode::State);
    table->Close();
    table->setReadOnly(true);
    EXPECT_TRUE(table->ReadOnly());
}

TEST_F(TTableTest, ASecondExclusiveOpenerFailsNamingTheFileAndLeavesTheFirstUnharmed) {
    table->Open();
    table->Next();
    auto second = makeTable();
    const qv::Error e = errorOf([&] { second->Open(); });
    EXPECT_EQ(e.code(), qv::ErrorCode::Locked);
    EXPECT_NE(e.text().find(filePath()), std::string::npos) << e.text();
    EXPECT_FALSE(second->Active());

    // A read-only opener is kept out as well.
    auto reader = makeTable();
    reader->setReadOnly(true);
    EXPECT_EQ(errorOf([&] { reader->Open(); }).code(), qv::ErrorCode::Locked);

    // The first one goes on as before.
    EXPECT_EQ(table->RecNo(), 2);
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("noch da"));
    table->Post();
    table->Close();
    second->Open();
    second->setRecNo(2);
    EXPECT_EQ(nameOf(*second), QStringLiteral("noch da"));
}

TEST_F(TTableTest, ReadOnlyTablesShareTheFileAndRefuseChangesInGerman) {
    table->setReadOnly(true);
    table->Open();
    auto second = makeTable();
    second->setReadOnly(true);
    second->Open();  // readers share the file
    second->Last();
    EXPECT_EQ(nameOf(*second), QStringLiteral("r5"));

    for (const auto& change :
         std::vector<std::function<void()>>{[&] { table->Edit(); }, [&] { table->Append(); },
                                            [&] { table->Insert(); }, [&] { table->Delete(); }}) {
        const qv::Error e = errorOf(change);
        EXPECT_EQ(e.code(), qv::ErrorCode::State);
        EXPECT_NE(e.text().find("schreibgeschützt"), std::string::npos) << e.text();
        EXPECT_NE(e.text().find(filePath()), std::string::npos) << e.text();
    }
    EXPECT_EQ(table->state(), TTable::dsBrowse);
    table->Next();
    EXPECT_EQ(table->RecNo(), 2);
}

TEST_F(TTableTest, ClosedTablesGiveNeutralFactsAndRefuseOperations) {
    EXPECT_TRUE(table->Eof());
    EXPECT_TRUE(table->Bof());
    EXPECT_EQ(table->RecNo(), 0);
    EXPECT_EQ(table->RecordCount(), 0);
    EXPECT_EQ(table->FieldCount(), 0);
    EXPECT_FALSE(table->hasField(QStringLiteral("name")));
    for (const auto& op : std::vector<std::function<void()>>{
             [&] { table->First(); }, [&] { table->Next(); }, [&] { table->Edit(); },
             [&] { table->Append(); }, [&] { table->FieldByName(QStringLiteral("name")); }}) {
        const qv::Error e = errorOf(op);
        EXPECT_EQ(e.code(), qv::ErrorCode::State);
        EXPECT_NE(e.text().find("karten.dbf"), std::string::npos) << e.text();
    }
    table->Close();  // closing a closed table does nothing
}

// ---- navigation ---------------------------------------------------------------------

TEST_F(TTableTest, NavigatesWithEndFlags) {
    table->Open();
    EXPECT_FALSE(table->Bof());
    table->Prior();
    EXPECT_TRUE(table->Bof());
    EXPECT_EQ(table->RecNo(), 1);
    table->Last();
    EXPECT_EQ(table->RecNo(), 5);
    EXPECT_FALSE(table->Eof());
    table->Next();
    EXPECT_TRUE(table->Eof());
    EXPECT_EQ(table->RecNo(), 6);
    table->Next();
    EXPECT_TRUE(table->Eof());
    table->Prior();  // from past the end back onto the last record
    EXPECT_EQ(table->RecNo(), 5);
    table->First();
    EXPECT_EQ(table->RecNo(), 1);
}

TEST_F(TTableTest, MoveByCountsTheRecordsItMoved) {
    table->Open();
    struct Case {
        int from, by, moved, recno;
        bool eof, bof;
    };
    const Case cases[] = {{1, 2, 2, 3, false, false},   {1, 4, 4, 5, false, false},
                          {1, 9, 4, 6, true, false},    {5, -2, -2, 3, false, false},
                          {3, -9, -2, 1, false, true},  {3, 0, 0, 3, false, false},
                          {6, -1, -1, 5, false, false}, {6, -5, -5, 1, false, false}};
    for (const Case& c : cases) {
        table->setRecNo(c.from);
        EXPECT_EQ(table->MoveBy(c.by), c.moved) << c.from << " by " << c.by;
        EXPECT_EQ(table->RecNo(), c.recno) << c.from << " by " << c.by;
        EXPECT_EQ(table->Eof(), c.eof) << c.from << " by " << c.by;
        EXPECT_EQ(table->Bof(), c.bof) << c.from << " by " << c.by;
    }
}

TEST_F(TTableTest, DeletedRecordsAreSkippedWithTheSettingButReachableByNumber) {
    fill(3, {7});  // r6, r7 (deleted), r8
    table->Open();
    table->setRecNo(6);
    table->Next();
    EXPECT_EQ(table->RecNo(), 8);
    table->setRecNo(7);
    EXPECT_EQ(table->RecNo(), 7);
    EXPECT_FALSE(table->Eof());
    TApolloEnv::sx_SetDeleted(false);
    table->setRecNo(6);
    table->Next();
    EXPECT_EQ(table->RecNo(), 7);
    table->setRecNo(0);
    EXPECT_TRUE(table->Eof());
    table->setRecNo(99);
    EXPECT_TRUE(table->Eof());
}

// ---- states ---------------------------------------------------------------------------

TEST_F(TTableTest, AppendOrInsertThenCancelLeavesNoRecord) {
    table->Open();
    for (auto start : {&TTable::Append, &TTable::Insert}) {
        table->setRecNo(3);
        (table.get()->*start)();
        EXPECT_EQ(table->state(), TTable::dsInsert);
        EXPECT_EQ(table->RecNo(), 6);  // added at the physical end
        table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("weg"));
        table->Cancel();
        EXPECT_EQ(table->state(), TTable::dsBrowse);
        EXPECT_EQ(table->RecNo(), 3);
        EXPECT_EQ(table->RecordCount(), 5);
    }
    table->Close();
    EXPECT_EQ(storedCount(), 5);
}

TEST_F(TTableTest, PostIsInTheFileWhenItReturns) {
    table->Open();
    table->Append();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("neu"));
    EXPECT_EQ(recordInFile(filePath(), 6), "");  // nothing written before the post
    table->Post();
    EXPECT_EQ(table->state(), TTable::dsBrowse);
    EXPECT_EQ(table->RecNo(), 6);
    // Read past the lock while the table is still open.
    EXPECT_EQ(nameInFile(recordInFile(filePath(), 6)), "neu");

    table->setRecNo(2);
    table->Edit();
    EXPECT_EQ(table->state(), TTable::dsEdit);
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("anders"));
    EXPECT_EQ(nameInFile(recordInFile(filePath(), 2)), "r2");
    table->Post();
    EXPECT_EQ(nameInFile(recordInFile(filePath(), 2)), "anders");

    table->Close();
    EXPECT_EQ(storedName(2), "anders");
    EXPECT_EQ(storedName(6), "neu");
    EXPECT_EQ(storedCount(), 6);
}

TEST_F(TTableTest, EditThenCancelRestoresTheRecord) {
    table->Open();
    table->setRecNo(4);
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("x"));
    table->FieldByName(QStringLiteral("num")).setAsInteger(99);
    table->Cancel();
    EXPECT_EQ(table->RecNo(), 4);
    EXPECT_EQ(nameOf(*table), QStringLiteral("r4"));
    EXPECT_EQ(table->FieldByName(QStringLiteral("num")).AsInteger(), 4);
    table->Close();
    EXPECT_EQ(storedName(4), "r4");
}

TEST_F(TTableTest, MovingInEditOrInsertStatePostsFirst) {
    table->Open();
    table->setRecNo(2);
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("bewegt"));
    table->Next();
    EXPECT_EQ(table->state(), TTable::dsBrowse);
    EXPECT_EQ(table->RecNo(), 3);
    EXPECT_EQ(nameInFile(recordInFile(filePath(), 2)), "bewegt");

    table->Append();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("angehängt"));
    table->First();
    EXPECT_EQ(table->RecordCount(), 6);
    table->Last();
    EXPECT_EQ(nameOf(*table), QStringLiteral("angehängt"));
}

TEST_F(TTableTest, FieldsCanOnlyBeSetInEditOrInsertState) {
    table->Open();
    const qv::Error e = errorOf(
        [&] { table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("x")); });
    EXPECT_EQ(e.code(), qv::ErrorCode::State);
    EXPECT_NE(e.text().find("nicht im Bearbeitungs- oder Einfügemodus"), std::string::npos);
    EXPECT_EQ(nameOf(*table), QStringLiteral("r1"));
}

TEST_F(TTableTest, DeleteWithTheDeletedSettingMovesToTheNextVisibleRecord) {
    table->Open();
    table->setRecNo(2);
    table->Delete();
    EXPECT_EQ(table->state(), TTable::dsBrowse);
    EXPECT_EQ(table->RecNo(), 3);
    EXPECT_EQ(recordInFile(filePath(), 2)[0], '*');
    table->First();
    table->Next();
    EXPECT_EQ(table->RecNo(), 3);  // record 2 has left the view

    table->Last();
    table->Delete();  // the last record: the table goes to the new last one
    EXPECT_EQ(table->RecNo(), 4);
    EXPECT_FALSE(table->Eof());
    EXPECT_EQ(table->RecordCount(), 5);  // flag only
}

TEST_F(TTableTest, DeleteWithoutTheSettingKeepsTheRecordCurrent) {
    TApolloEnv::sx_SetDeleted(false);
    table->Open();
    table->setRecNo(3);
    table->Delete();
    EXPECT_EQ(table->RecNo(), 3);
    EXPECT_EQ(recordInFile(filePath(), 3)[0], '*');
}

TEST_F(TTableTest, DeletingTheLastVisibleRecordLeavesTheTablePastTheEnd) {
    table->Open();
    for (int i = 0; i < 4; ++i)
        table->Delete();
    EXPECT_EQ(table->RecNo(), 5);
    table->Delete();
    EXPECT_TRUE(table->Eof());
    const qv::Error e = errorOf([&] { table->Delete(); });
    EXPECT_EQ(e.code(), qv::ErrorCode::State);
    EXPECT_NE(e.text().find(filePath()), std::string::npos);
}

TEST_F(TTableTest, DeleteInInsertStateCancelsAndInEditStateDropsTheEdit) {
    table->Open();
    table->Append();
    table->Delete();
    EXPECT_EQ(table->RecordCount(), 5);
    EXPECT_EQ(table->state(), TTable::dsBrowse);

    table->setRecNo(1);
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("nie"));
    table->Delete();
    EXPECT_EQ(nameInFile(recordInFile(filePath(), 1)), "r1");
    EXPECT_EQ(recordInFile(filePath(), 1)[0], '*');
}

TEST_F(TTableTest, EditOnAnEmptyTableStartsAnInsert) {
    table->Open();
    table->setRecNo(0);
    ASSERT_TRUE(table->Eof());
    table->Edit();
    EXPECT_EQ(table->state(), TTable::dsInsert);
    table->Post();
    EXPECT_EQ(table->RecordCount(), 6);
}

TEST_F(TTableTest, CloseDropsUnpostedChanges) {
    table->Open();
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("verloren"));
    table->Close();
    EXPECT_EQ(table->state(), TTable::dsInactive);
    EXPECT_EQ(storedName(1), "r1");
}

// ---- fields ---------------------------------------------------------------------------

TEST_F(TTableTest, FieldsByNameInAnyCase) {
    table->Open();
    EXPECT_EQ(table->FieldCount(), 6);
    EXPECT_EQ(table->FieldByName(QStringLiteral("Num")).FieldName(), QStringLiteral("NUM"));
    EXPECT_EQ(table->Fields(3).FieldName(), QStringLiteral("DATUM"));
    EXPECT_EQ(table->Fields(3).DataType(), 'D');
    EXPECT_EQ(table->Fields(1).Size(), 5);
    EXPECT_EQ(table->Fields(1).FieldNo(), 2);
    EXPECT_TRUE(table->hasField(QStringLiteral("notiz")));
    EXPECT_FALSE(table->hasField(QStringLiteral("fehlt")));
    const qv::Error e = errorOf([&] { table->FieldByName(QStringLiteral("fehlt")); });
    EXPECT_EQ(e.code(), qv::ErrorCode::NotFound);
    EXPECT_EQ(e.text(), "Die Tabelle " + filePath() + " hat kein Feld FEHLT");
    EXPECT_EQ(errorOf([&] { table->Fields(6); }).code(), qv::ErrorCode::Range);
}

TEST_F(TTableTest, AFieldOfAClosedTableIsNoLongerUsable) {
    table->Open();
    TField f = table->FieldByName(QStringLiteral("name"));
    table->Close();
    EXPECT_EQ(errorOf([&] { f.AsString(); }).code(), qv::ErrorCode::State);
    table->Open();
    EXPECT_EQ(errorOf([&] { f.AsString(); }).code(), qv::ErrorCode::State);
    EXPECT_EQ(errorOf([] { TField().AsString(); }).code(), qv::ErrorCode::State);
}

TEST_F(TTableTest, TextRoundTripsThroughWindows1252) {
    table->Open();
    table->Edit();
    TField name = table->FieldByName(QStringLiteral("name"));
    name.setAsString(QStringLiteral("Größe€ÄÖü"));
    table->Post();
    EXPECT_EQ(name.AsString(), QStringLiteral("Größe€ÄÖü "));
    EXPECT_EQ(recordInFile(filePath(), 1).substr(1, 10),
              "Gr\xF6\xDF"
              "e\x80\xC4\xD6\xFC ");

    // Characters without a Windows-1252 form: one '?' each, a pair of
    // surrogates counting as one character.
    table->Edit();
    name.setAsString(QString::fromUtf8("a\u03A9b\U0001F600c"));
    table->Post();
    EXPECT_EQ(name.AsString().trimmed(), QStringLiteral("a?b?c"));
}

TEST_F(TTableTest, TextIsPaddedAndCutToTheFieldWidth) {
    table->Open();
    TField name = table->FieldByName(QStringLiteral("name"));
    EXPECT_EQ(name.AsString(), QStringLiteral("r1        "));
    table->Edit();
    name.setAsString(QStringLiteral("zwölf Zeichen"));
    EXPECT_EQ(name.AsString(), QStringLiteral("zwölf Zeic"));
    name.setAsString(QString());
    EXPECT_EQ(name.AsString(), QString(10, QLatin1Char(' ')));
}

TEST_F(TTableTest, NumbersReadAsStoredTextAndWholeNumbers) {
    table->Open();
    table->setRecNo(3);
    TField num = table->FieldByName(QStringLiteral("num"));
    TField big = table->FieldByName(QStringLiteral("big"));
    EXPECT_EQ(num.AsString(), QStringLiteral("    3"));
    EXPECT_EQ(num.AsInteger(), 3);
    EXPECT_FALSE(num.IsNull());

    // A field never written reads 0 and is told apart from 0 by IsNull().
    EXPECT_EQ(big.AsInteger(), 0);
    EXPECT_TRUE(big.IsNull());
    EXPECT_EQ(big.AsString(), QString(10, QLatin1Char(' ')));
    table->Edit();
    big.setAsInteger(0);
    EXPECT_FALSE(big.IsNull());
    EXPECT_EQ(big.AsString(), QStringLiteral("         0"));
    big.setAsLargeInt(4294967295LL);  // the largest file size
    EXPECT_EQ(big.AsLargeInt(), 4294967295LL);
    EXPECT_EQ(errorOf([&] { big.AsInteger(); }).code(), qv::ErrorCode::Conversion);
    num.setAsString(QStringLiteral(" 42 "));
    EXPECT_EQ(num.AsInteger(), 42);
    num.setAsString(QStringLiteral("  "));
    EXPECT_TRUE(num.IsNull());
    num.Clear();
    EXPECT_TRUE(num.IsNull());
    table->Post();
    EXPECT_EQ(recordInFile(filePath(), 3).substr(11, 15), "     4294967295");
}

TEST_F(TTableTest, NonNumericTextRaisesTheIntegerMessage) {
    table->Open();
    table->Edit();
    TField num = table->FieldByName(QStringLiteral("num"));
    for (const QString& text :
         {QStringLiteral("abc"), QStringLiteral("1,5"), QStringLiteral("12x")}) {
        const qv::Error e = errorOf([&] { num.setAsString(text); });
        EXPECT_EQ(e.code(), qv::ErrorCode::Conversion);
        EXPECT_EQ(e.text(), "'" + text.toStdString() + "' ist kein gültiger Integerwert");
    }
    EXPECT_EQ(num.AsInteger(), 1);  // unchanged

    // A character field read as a number must hold one.
    const qv::Error e = errorOf([&] { table->FieldByName(QStringLiteral("name")).AsInteger(); });
    EXPECT_EQ(e.text(), "'r1        ' ist kein gültiger Integerwert");
    // Dates and logicals are no numbers at all.
    EXPECT_EQ(errorOf([&] { table->FieldByName(QStringLiteral("datum")).AsInteger(); }).code(),
              qv::ErrorCode::InvalidArgument);
}

TEST_F(TTableTest, DatesAsTextInTheEngineFormat) {
    table->Open();
    table->Edit();
    TField d = table->FieldByName(QStringLiteral("datum"));
    EXPECT_TRUE(d.IsNull());
    EXPECT_EQ(d.AsString(), QString(10, QLatin1Char(' ')));
    EXPECT_FALSE(d.AsDate().isValid());
    d.setAsString(QStringLiteral("24.12.2024"));
    EXPECT_EQ(d.AsString(), QStringLiteral("24.12.2024"));
    EXPECT_EQ(d.AsDate(), QDate(2024, 12, 24));
    d.setAsDate(QDate(1999, 1, 2));
    EXPECT_EQ(d.AsString(), QStringLiteral("02.01.1999"));
    table->Post();
    EXPECT_EQ(recordInFile(filePath(), 1).substr(26, 8), "19990102");

    table->Edit();
    const qv::Error e = errorOf([&] { d.setAsString(QStringLiteral("31.02.2024")); });
    EXPECT_EQ(e.code(), qv::ErrorCode::Conversion);
    EXPECT_EQ(e.text(), "'31.02.2024' ist kein gültiges Datum");
    d.setAsString(QStringLiteral(" "));
    EXPECT_TRUE(d.IsNull());
    d.setAsDate(QDate());
    EXPECT_TRUE(d.IsNull());

    // Another date format of the engine shows in the text.
    TApolloEnv::sx_SetDateFormat(TApolloEnv::American);
    TApolloEnv::sx_SetCentury(false);
    d.setAsString(QStringLiteral("12/24/24"));
    EXPECT_EQ(d.AsString(), QStringLiteral("12/24/24"));
    EXPECT_EQ(d.AsDate(), QDate(1924, 12, 24));
}

TEST_F(TTableTest, LogicalsAndMemos) {
    table->Open();
    table->Edit();
    TField flag = table->FieldByName(QStringLiteral("flag"));
    TField memo = table->FieldByName(QStringLiteral("notiz"));
    EXPECT_TRUE(flag.IsNull());
    flag.setAsString(QStringLiteral("j"));
    EXPECT_EQ(flag.AsString(), QStringLiteral("T"));
    flag.setAsString(QStringLiteral("F"));
    EXPECT_EQ(flag.AsString(), QStringLiteral("F"));
    EXPECT_EQ(errorOf([&] { flag.setAsString(QStringLiteral("vielleicht")); }).code(),
              qv::ErrorCode::Conversion);

    EXPECT_TRUE(memo.IsNull());
    const QString text = QStringLiteral("Zeile 1\r\nZeile 2 mit Ä und €");
    memo.setMemoText(text);
    table->Post();
    table->Close();
    table->Open();
    memo = table->FieldByName(QStringLiteral("notiz"));
    EXPECT_EQ(memo.memoText(), text);
    EXPECT_EQ(memo.AsString(), text);
    EXPECT_FALSE(memo.IsNull());
    EXPECT_EQ(table->FieldByName(QStringLiteral("flag")).AsString(), QStringLiteral("F"));
}

// ---- whole records ----------------------------------------------------------------------

TEST_F(TTableTest, ACopiedRecordHasItsOwnMemo) {
    table->Open();
    table->setRecNo(2);
    table->Edit();
    table->FieldByName(QStringLiteral("notiz")).setMemoText(QStringLiteral("Quelle"));
    table->Post();
    const QByteArray copy = table->CopyRecord();
    EXPECT_EQ(copy.size(), 45);
    EXPECT_EQ(errorOf([&] { table->PasteRecord(copy); }).code(), qv::ErrorCode::State);

    table->Append();
    table->PasteRecord(copy);
    table->Post();
    const int c = table->RecNo();
    EXPECT_EQ(c, 6);
    EXPECT_EQ(nameOf(*table), QStringLiteral("r2"));
    EXPECT_EQ(table->FieldByName(QStringLiteral("notiz")).memoText(), QStringLiteral("Quelle"));

    table->Edit();
    table->FieldByName(QStringLiteral("notiz")).setMemoText(QStringLiteral("Kopie, geändert"));
    table->Post();
    table->setRecNo(2);
    EXPECT_EQ(table->FieldByName(QStringLiteral("notiz")).memoText(), QStringLiteral("Quelle"));
    table->setRecNo(c);
    EXPECT_EQ(table->FieldByName(QStringLiteral("notiz")).memoText(),
              QStringLiteral("Kopie, geändert"));
}

// ---- display definitions ------------------------------------------------------------------

TEST_F(TTableTest, WithoutDisplayDefinitionsEveryFieldShowsUnderItsName) {
    EXPECT_TRUE(table->fieldDisplayDefs().isEmpty());
    EXPECT_TRUE(table->displayFields().isEmpty());  // closed: nothing known yet
    table->Open();
    const QList<FieldDisplayDef> f = table->displayFields();
    ASSERT_EQ(f.size(), 6);
    EXPECT_EQ(f[0].fieldName, QStringLiteral("NAME"));
    EXPECT_EQ(f[0].label, QStringLiteral("NAME"));
    EXPECT_EQ(f[0].width, 10);
    EXPECT_EQ(f[3].width, 10);  // a date shows as dd.mm.yyyy
    EXPECT_TRUE(f[5].visible);
    EXPECT_EQ(table->FieldByName(QStringLiteral("num")).DisplayLabel(), QStringLiteral("NUM"));
    EXPECT_TRUE(table->FieldByName(QStringLiteral("num")).Visible());
}

TEST_F(TTableTest, DisplayDefinitionsGiveLabelsWidthsVisibilityAndOrder) {
    QSignalSpy changed(table.get(), &TTable::displayDefsChanged);
    table->setFieldDisplayDefs({{QStringLiteral("num"), QStringLiteral("Nummer"), 7, true},
                                {QStringLiteral("name"), QStringLiteral("Größe"), 0, true},
                                {QStringLiteral("big"), QString(), 0, false}});
    EXPECT_EQ(changed.count(), 1);
    table->setFieldDisplayDefs(table->fieldDisplayDefs());  // the same again
    EXPECT_EQ(changed.count(), 1);

    table->Open();
    QList<FieldDisplayDef> f = table->displayFields();
    ASSERT_EQ(f.size(), 3);
    EXPECT_EQ(f[0].fieldName, QStringLiteral("NUM"));
    EXPECT_EQ(f[0].width, 7);
    EXPECT_EQ(f[1].label, QStringLiteral("Größe"));
    EXPECT_EQ(f[1].width, 10);
    EXPECT_EQ(f[2].label, QStringLiteral("BIG"));
    EXPECT_FALSE(f[2].visible);
    EXPECT_EQ(table->FieldByName(QStringLiteral("name")).DisplayLabel(), QStringLiteral("Größe"));
    EXPECT_EQ(table->FieldByName(QStringLiteral("num")).DisplayWidth(), 7);
    EXPECT_FALSE(table->FieldByName(QStringLiteral("big")).Visible());
    EXPECT_FALSE(table->FieldByName(QStringLiteral("datum")).Visible());  // no definition

    table->setDisplayOrder({QStringLiteral("BIG"), QStringLiteral("name")});
    EXPECT_EQ(changed.count(), 2);
    f = table->displayFields();
    EXPECT_EQ(f[0].fieldName, QStringLiteral("BIG"));
    EXPECT_EQ(f[1].fieldName, QStringLiteral("NAME"));
    EXPECT_EQ(f[2].fieldName, QStringLiteral("NUM"));
}

TEST_F(TTableTest, ReorderingWithoutDefinitionsTakesTheFieldsAsDefinitions) {
    table->Open();
    table->setDisplayOrder({QStringLiteral("datum")});
    const QList<FieldDisplayDef> f = table->displayFields();
    ASSERT_EQ(f.size(), 6);
    EXPECT_EQ(f[0].fieldName, QStringLiteral("DATUM"));
    EXPECT_EQ(f[1].fieldName, QStringLiteral("NAME"));
    EXPECT_EQ(table->fieldDisplayDefs().size(), 6);
}

}  // namespace
