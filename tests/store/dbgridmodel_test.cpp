// Grid models on views: columns from the display definitions, rows in the
// table's order, display texts, the current row, and which model signals
// follow which change of the table. Every model runs under Qt's model tester.
#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "store/dbgridmodel.h"
#include "store/tapollo.h"
#include "store/xbase/table.h"
#include "store_test_util.h"

using qv::DbGridModel;

namespace {

class DbGridModelTest : public storetest::StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        fill(6, {3});
        table = makeTable();
        table->Open();
        view = std::make_unique<TDataSource>(table.get());
        start();
    }
    // A new model under the tester, with spies on its signals.
    void start() {
        tester.reset();
        spies.clear();
        model = std::make_unique<DbGridModel>(view.get());
        tester = std::make_unique<QAbstractItemModelTester>(
            model.get(), QAbstractItemModelTester::FailureReportingMode::Fatal);
        resets = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::modelReset);
        changed = std::make_unique<QSignalSpy>(model.get(), &QAbstractItemModel::dataChanged);
        current = std::make_unique<QSignalSpy>(model.get(), &DbGridModel::currentRowChanged);
    }
    QString cell(int row, const char* field) const {
        const int col = model->columnOf(QLatin1String(field));
        EXPECT_GE(col, 0) << field;
        return model->data(model->index(row, col)).toString();
    }
    QStringList column(const char* field) const {
        QStringList out;
        for (int r = 0; r < model->rowCount(); ++r)
            out << cell(r, field);
        return out;
    }
    void clearSpies() {
        resets->clear();
        changed->clear();
        current->clear();
    }

    std::unique_ptr<TTable> table;
    std::unique_ptr<TDataSource> view;
    std::unique_ptr<DbGridModel> model;
    std::unique_ptr<QAbstractItemModelTester> tester;
    std::unique_ptr<QSignalSpy> resets, changed, current;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
};

TEST_F(DbGridModelTest, ColumnsAreTheFieldsWithoutDefinitions) {
    ASSERT_EQ(model->columnCount(), 6);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("NAME"));
    EXPECT_EQ(model->headerData(3, Qt::Horizontal, DbGridModel::FieldNameRole).toString(),
              QStringLiteral("DATUM"));
    EXPECT_EQ(model->headerData(3, Qt::Horizontal, DbGridModel::DisplayWidthRole).toInt(), 10);
    // The row marker stands on the current row only.
    ASSERT_GE(model->currentRow(), 0);
    EXPECT_EQ(model->headerData(model->currentRow(), Qt::Vertical).toString(),
              QStringLiteral("\u25B6"));
    EXPECT_FALSE(model->headerData(model->currentRow() + 1, Qt::Vertical).isValid());
    EXPECT_EQ(model->fieldNameAt(1), QStringLiteral("NUM"));
    EXPECT_EQ(model->fieldNameAt(6), QString());
    EXPECT_EQ(model->columnOf(QStringLiteral("notiz")), 5);
    EXPECT_FALSE(model->flags(model->index(0, 0)) & Qt::ItemIsEditable);
}

TEST_F(DbGridModelTest, ColumnsFollowTheDisplayDefinitionsAndTheirOrder) {
    table->setFieldDisplayDefs({{QStringLiteral("num"), QStringLiteral("Nummer"), 7, true},
                                {QStringLiteral("name"), QStringLiteral("Bezeichnung"), 45, true},
                                {QStringLiteral("big"), QStringLiteral("Größe"), 0, false},
                                {QStringLiteral("datum"), QStringLiteral("Datum"), 0, true}});
    EXPECT_EQ(resets->count(), 1);
    ASSERT_EQ(model->columnCount(), 3);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Nummer"));
    EXPECT_EQ(model->headerData(0, Qt::Horizontal, DbGridModel::DisplayWidthRole).toInt(), 7);
    EXPECT_EQ(model->headerData(1, Qt::Horizontal, DbGridModel::DisplayWidthRole).toInt(), 45);
    EXPECT_EQ(model->columnOf(QStringLiteral("big")), -1);  // invisible

    table->setDisplayOrder({QStringLiteral("datum"), QStringLiteral("name")});
    EXPECT_EQ(resets->count(), 2);
    EXPECT_EQ(model->fieldNameAt(0), QStringLiteral("DATUM"));
    EXPECT_EQ(model->fieldNameAt(1), QStringLiteral("NAME"));
    EXPECT_EQ(model->fieldNameAt(2), QStringLiteral("NUM"));
    EXPECT_EQ(cell(1, "num"), QStringLiteral("2"));
}

TEST_F(DbGridModelTest, RowsAreTheVisibleRecordsInRecordOrder) {
    EXPECT_EQ(model->rowCount(), 5);
    EXPECT_EQ(column("name"), QStringList({"r1", "r2", "r4", "r5", "r6"}));
    EXPECT_EQ(model->recNoAt(2), 4u);
    EXPECT_EQ(model->data(model->index(2, 0), DbGridModel::RecNoRole).toUInt(), 4u);
    EXPECT_EQ(model->recNoAt(5), 0u);

    TApolloEnv::sx_SetDeleted(false);
    table->Refresh();
    EXPECT_EQ(model->rowCount(), 6);
    EXPECT_EQ(cell(2, "name"), QStringLiteral("r3"));
}

TEST_F(DbGridModelTest, ValuesAreDisplayTexts) {
    table->setRecNo(2);
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("Größe €"));
    table->FieldByName(QStringLiteral("big")).setAsLargeInt(4294967295LL);
    table->FieldByName(QStringLiteral("datum")).setAsString(QStringLiteral("09.08.2007"));
    table->FieldByName(QStringLiteral("flag")).setAsString(QStringLiteral("T"));
    table->FieldByName(QStringLiteral("notiz")).setMemoText(QStringLiteral("Text"));
    table->Post();
    // Another date format of the engine does not change the grid.
    TApolloEnv::sx_SetDateFormat(TApolloEnv::American);

    EXPECT_EQ(cell(1, "name"), QStringLiteral("Größe €"));
    EXPECT_EQ(cell(1, "num"), QStringLiteral("2"));
    EXPECT_EQ(cell(1, "big"), QStringLiteral("4294967295"));
    EXPECT_EQ(cell(1, "datum"), QStringLiteral("09.08.2007"));
    EXPECT_EQ(cell(1, "flag"), QStringLiteral("T"));
    EXPECT_EQ(cell(1, "notiz"), QStringLiteral("(MEMO)"));
    EXPECT_EQ(cell(0, "big"), QString());
    EXPECT_EQ(cell(0, "datum"), QString());
    EXPECT_EQ(cell(0, "notiz"), QStringLiteral("(Memo)"));

    const int num = model->columnOf(QStringLiteral("num"));
    EXPECT_EQ(model->data(model->index(0, num), Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignRight | Qt::AlignVCenter));
    EXPECT_EQ(model->data(model->index(0, 0), Qt::TextAlignmentRole).toInt(),
              int(Qt::AlignLeft | Qt::AlignVCenter));
}

TEST_F(DbGridModelTest, ReadingRowsNeverMovesTheTable) {
    table->setRecNo(4);
    clearSpies();
    QSignalSpy viewChanges(view.get(), &TDataSource::dataChange);
    for (int r = 0; r < model->rowCount(); ++r)
        for (int c = 0; c < model->columnCount(); ++c)
            model->data(model->index(r, c));
    EXPECT_EQ(table->RecNo(), 4);
    EXPECT_EQ(viewChanges.count(), 0);
}

TEST_F(DbGridModelTest, TheCurrentRowFollowsEveryMove) {
    EXPECT_EQ(model->currentRow(), 0);
    table->Next();
    table->Next();  // past the deleted record 3
    EXPECT_EQ(table->RecNo(), 4);
    EXPECT_EQ(model->currentRow(), 2);
    ASSERT_EQ(current->count(), 2);
    EXPECT_EQ(current->at(1).at(0).toInt(), 2);
    table->setRecNo(3);  // a deleted record is in no row
    EXPECT_EQ(model->currentRow(), -1);
    table->Last();
    table->Next();
    EXPECT_EQ(model->currentRow(), -1);
    table->Prior();
    EXPECT_EQ(model->currentRow(), 4);
    EXPECT_EQ(resets->count(), 0);
    EXPECT_EQ(changed->count(), 0);
}

TEST_F(DbGridModelTest, APostChangesTheDataAndAnAppendResets) {
    table->setRecNo(2);
    clearSpies();
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("neu"));
    EXPECT_EQ(changed->count(), 0);  // the grid shows posted records
    EXPECT_EQ(cell(1, "name"), QStringLiteral("r2"));
    table->Post();
    EXPECT_EQ(changed->count(), 1);
    EXPECT_EQ(resets->count(), 0);
    EXPECT_EQ(cell(1, "name"), QStringLiteral("neu"));

    // A direct write through the engine access object counts as a post.
    TApollo apollo(view.get());
    apollo.sx_Replace(QStringLiteral("name"), TApollo::ReplaceText, QStringLiteral("direkt"));
    EXPECT_EQ(changed->count(), 2);
    EXPECT_EQ(cell(1, "name"), QStringLiteral("direkt"));

    table->Append();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("r7"));
    EXPECT_EQ(model->currentRow(), -1);  // the new record has no row yet
    table->Post();
    EXPECT_EQ(resets->count(), 1);
    EXPECT_EQ(model->rowCount(), 6);
    EXPECT_EQ(cell(5, "name"), QStringLiteral("r7"));
    EXPECT_EQ(model->currentRow(), 5);
}

TEST_F(DbGridModelTest, ADeleteResetsAndTheRowLeaves) {
    table->setRecNo(2);
    clearSpies();
    table->Delete();
    EXPECT_EQ(resets->count(), 1);
    EXPECT_EQ(model->rowCount(), 4);
    EXPECT_EQ(column("name"), QStringList({"r1", "r4", "r5", "r6"}));
    EXPECT_EQ(model->currentRow(), 1);
}

TEST_F(DbGridModelTest, ASuspendedViewLeavesTheModelAloneUntilTheLastResume) {
    view->DisableControls();
    view->DisableControls();
    table->setRecNo(2);
    table->Delete();
    table->Append();
    table->Post();
    table->setDisplayOrder({QStringLiteral("num")});
    EXPECT_EQ(resets->count(), 0);
    EXPECT_EQ(changed->count(), 0);
    EXPECT_EQ(current->count(), 0);
    EXPECT_EQ(model->rowCount(), 5);
    EXPECT_EQ(model->fieldNameAt(0), QStringLiteral("NAME"));

    view->EnableControls();
    EXPECT_EQ(resets->count(), 0);
    view->EnableControls();
    EXPECT_EQ(resets->count(), 1);
    EXPECT_EQ(model->rowCount(), 5);  // one deleted, one added
    EXPECT_EQ(model->fieldNameAt(0), QStringLiteral("NUM"));
    EXPECT_EQ(model->currentRow(), 4);
}

TEST_F(DbGridModelTest, ATableClosedUnderASuspendedViewReadsAsEmpty) {
    view->DisableControls();
    table->Close();
    EXPECT_EQ(model->rowCount(), 5);
    EXPECT_EQ(cell(0, "name"), QString());
    view->EnableControls();
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(model->columnCount(), 0);

    view->DisableControls();
    table->Open();
    view->EnableControls();
    EXPECT_EQ(model->rowCount(), 5);
    EXPECT_EQ(cell(4, "name"), QStringLiteral("r6"));
}

TEST_F(DbGridModelTest, ManyRowsReadThroughTheBlockCache) {
    table->Close();
    fill(1500);
    table->Open();
    const int rows = 5 + 1500;
    EXPECT_EQ(model->rowCount(), rows);
    // Forwards, backwards and at random: more blocks than the cache keeps.
    for (int r : {0, 1499, 63, 64, 1504, 700, 3}) {
        const std::uint32_t recno = r < 2 ? r + 1 : r + 2;
        EXPECT_EQ(cell(r, "name"), QStringLiteral("r%1").arg(recno)) << r;
    }
    for (int r = rows - 1; r >= 0; r -= 7) {
        const int recno = r < 2 ? r + 1 : r + 2;
        ASSERT_EQ(cell(r, "num"), QString::number(recno)) << r;
    }
}

TEST_F(DbGridModelTest, AViewBoundToAnotherTableIsFollowed) {
    auto other = std::make_unique<TTable>();
    view->setDataSet(nullptr);
    EXPECT_EQ(model->rowCount(), 0);
    view->setDataSet(table.get());
    EXPECT_EQ(model->rowCount(), 5);
    table->setDisplayOrder({QStringLiteral("flag")});
    EXPECT_EQ(model->fieldNameAt(0), QStringLiteral("FLAG"));
}

TEST_F(DbGridModelTest, RowsFollowTheTagRangeAndSubsetOfTheTable) {
    TApollo apollo(view.get());
    apollo.sx_IndexTag(QStringLiteral("rueck"), QStringLiteral("num"), QString(), false, true);
    EXPECT_EQ(resets->count() + changed->count(), 1);  // the same shape: read in place
    EXPECT_EQ(column("name"), QStringList({"r6", "r5", "r4", "r2", "r1"}));
    EXPECT_EQ(model->currentRow(), 0);
    apollo.sx_IndexTag(QStringLiteral("namen"), QStringLiteral("upper(name)"));
    apollo.sx_SetOrder(1);
    clearSpies();

    apollo.sx_SetScope(QStringLiteral("2"), QStringLiteral("4"));  // low to high, shown backwards
    EXPECT_EQ(resets->count(), 1);
    EXPECT_EQ(model->rowCount(), apollo.sx_Count());
    EXPECT_EQ(column("name"), QStringList({"r4", "r2"}));
    table->Next();
    EXPECT_EQ(model->currentRow(), apollo.sx_OrderRecNo() - 1);
    EXPECT_EQ(model->currentRow(), 1);

    apollo.sx_SetOrder(2);
    apollo.sx_Query(QStringLiteral("num<>5"));
    EXPECT_EQ(resets->count(), 3);
    EXPECT_EQ(column("name"), QStringList({"r1", "r2", "r4", "r6"}));
    apollo.sx_Query(QString());
    EXPECT_EQ(model->rowCount(), 5);
}

TEST_F(DbGridModelTest, APostThatMovesARecordInItsTagChangesTheRows) {
    TApollo apollo(view.get());
    apollo.sx_IndexTag(QStringLiteral("namen"), QStringLiteral("upper(name)"));
    ASSERT_TRUE(apollo.sx_Seek(QStringLiteral("R2")));
    clearSpies();
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("z2"));
    table->Post();
    EXPECT_EQ(resets->count(), 0);
    EXPECT_EQ(changed->count(), 1);
    EXPECT_EQ(column("name"), QStringList({"r1", "r4", "r5", "r6", "z2"}));
    EXPECT_EQ(model->currentRow(), 4);
    EXPECT_EQ(current->count(), 1);
}

TEST_F(DbGridModelTest, AnotherOrderOfTheSameRecordsIsReadInPlace) {
    TApollo apollo(view.get());
    apollo.sx_IndexTag(QStringLiteral("rueck"), QStringLiteral("num"), QString(), false, true);
    apollo.sx_IndexTag(QStringLiteral("namen"), QStringLiteral("upper(name)"));
    ASSERT_EQ(column("name"), QStringList({"r1", "r2", "r4", "r5", "r6"}));
    ASSERT_TRUE(apollo.sx_Seek(QStringLiteral("R5")));
    ASSERT_EQ(model->currentRow(), 3);
    clearSpies();
    QSignalSpy marker(model.get(), &QAbstractItemModel::headerDataChanged);

    // Same records, same columns: no reset, every row read again, the
    // current row told (the grid scrolls to it) and the old marker row too.
    apollo.sx_SetOrder(1);
    EXPECT_EQ(resets->count(), 0);
    ASSERT_EQ(changed->count(), 1);
    const auto args = changed->first();
    EXPECT_EQ(args.at(0).toModelIndex(), model->index(0, 0));
    EXPECT_EQ(args.at(1).toModelIndex(),
              model->index(model->rowCount() - 1, model->columnCount() - 1));
    EXPECT_EQ(column("name"), QStringList({"r6", "r5", "r4", "r2", "r1"}));
    EXPECT_EQ(model->currentRow(), 1);  // r5 stays current
    ASSERT_EQ(current->count(), 1);
    EXPECT_EQ(current->first().at(0).toInt(), 1);
    EXPECT_EQ(model->headerData(1, Qt::Vertical).toString(), QStringLiteral("\u25B6"));
    EXPECT_TRUE(model->headerData(3, Qt::Vertical).toString().isEmpty());
    bool oldRowTold = false;
    for (const QList<QVariant>& m : marker)
        oldRowTold = oldRowTold || (m.at(1).toInt() <= 3 && m.at(2).toInt() >= 3);
    EXPECT_TRUE(oldRowTold);

    // Another shape still resets.
    clearSpies();
    apollo.sx_SetScope(QStringLiteral("2"), QStringLiteral("5"));
    EXPECT_EQ(resets->count(), 1);
    EXPECT_EQ(model->rowCount(), 3);
}

}  // namespace
