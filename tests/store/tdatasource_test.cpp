// Views: which changes of the table reach the bound controls, how often, and
// what suspending and resuming does to that.
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store_test_util.h"

using storetest::errorOf;

namespace {

class TDataSourceTest : public storetest::StoreTest {
  protected:
    void SetUp() override {
        StoreTest::SetUp();
        fill(5);
        table = makeTable();
        table->Open();
        view = std::make_unique<TDataSource>(table.get());
        changes = std::make_unique<QSignalSpy>(view.get(), &TDataSource::dataChange);
        states = std::make_unique<QSignalSpy>(view.get(), &TDataSource::stateChange);
    }
    // dataChange notifications since the last call.
    int takeChanges() {
        const int n = static_cast<int>(changes->count());
        changes->clear();
        return n;
    }
    int takeStates() {
        const int n = static_cast<int>(states->count());
        states->clear();
        return n;
    }

    std::unique_ptr<TTable> table;
    std::unique_ptr<TDataSource> view;
    std::unique_ptr<QSignalSpy> changes;
    std::unique_ptr<QSignalSpy> states;
};

TEST_F(TDataSourceTest, EveryMoveNotifiesOnce) {
    const std::vector<std::pair<const char*, std::function<void()>>> moves = {
        {"First", [&] { table->First(); }},
        {"Next", [&] { table->Next(); }},
        {"Prior", [&] { table->Prior(); }},
        {"Last", [&] { table->Last(); }},
        {"MoveBy", [&] { table->MoveBy(-3); }},
        {"setRecNo", [&] { table->setRecNo(4); }},
        {"Next past the end", [&] { table->MoveBy(10); }},
        {"Next at the end", [&] { table->Next(); }},
        {"Refresh", [&] { table->Refresh(); }},
    };
    for (const auto& [name, move] : moves) {
        move();
        EXPECT_EQ(takeChanges(), 1) << name;
        EXPECT_EQ(takeStates(), 0) << name;
    }
    EXPECT_EQ(changes->count(), 0);
}

TEST_F(TDataSourceTest, PostCancelAndFieldChangesNotify) {
    table->Edit();
    EXPECT_EQ(takeChanges(), 0);  // entering edit state is a state change only
    EXPECT_EQ(takeStates(), 1);
    EXPECT_EQ(view->State(), TTable::dsEdit);

    table->FieldByName(QStringLiteral("num")).setAsInteger(7);
    ASSERT_EQ(changes->count(), 1);
    EXPECT_EQ(changes->at(0).at(0).toInt(), 1);  // the field's index
    takeChanges();

    table->Post();
    EXPECT_EQ(takeChanges(), 1);
    EXPECT_EQ(takeStates(), 1);
    table->Post();  // nothing to post
    EXPECT_EQ(takeChanges(), 0);

    table->Append();
    EXPECT_EQ(takeChanges(), 1);
    EXPECT_EQ(takeStates(), 1);
    table->Cancel();
    EXPECT_EQ(takeChanges(), 1);
    EXPECT_EQ(takeStates(), 1);
    EXPECT_EQ(view->State(), TTable::dsBrowse);

    table->Delete();
    EXPECT_EQ(takeChanges(), 1);
}

TEST_F(TDataSourceTest, AMoveInEditStateReportsThePostAndTheMove) {
    table->Edit();
    takeStates();
    table->Next();
    EXPECT_EQ(takeChanges(), 2);
    EXPECT_EQ(takeStates(), 1);
}

TEST_F(TDataSourceTest, SuspendsNestAndTheLastResumeRefreshesOnce) {
    view->DisableControls();
    view->DisableControls();
    EXPECT_TRUE(view->ControlsDisabled());
    EXPECT_EQ(view->suspendCount(), 2);
    table->Next();
    table->Edit();
    table->FieldByName(QStringLiteral("name")).setAsString(QStringLiteral("x"));
    table->Post();
    table->Last();
    EXPECT_EQ(takeChanges(), 0);
    EXPECT_EQ(takeStates(), 0);

    view->EnableControls();
    EXPECT_EQ(takeChanges(), 0);  // still suspended once
    view->EnableControls();
    EXPECT_FALSE(view->ControlsDisabled());
    ASSERT_EQ(changes->count(), 1);
    EXPECT_EQ(changes->at(0).at(0).toInt(), -1);
    EXPECT_EQ(takeStates(), 0);  // browse before and after

    // A resume refreshes even when nothing happened meanwhile.
    takeChanges();
    view->DisableControls();
    view->EnableControls();
    EXPECT_EQ(takeChanges(), 1);

    table->Next();
    EXPECT_EQ(takeChanges(), 1);  // following the table again
}

TEST_F(TDataSourceTest, AResumeReportsAStateThatChangedMeanwhile) {
    view->DisableControls();
    table->Edit();
    view->EnableControls();
    EXPECT_EQ(takeStates(), 1);
    EXPECT_EQ(takeChanges(), 1);
}

TEST_F(TDataSourceTest, AResumeWithoutASuspendIsRefused) {
    const qv::Error e = errorOf([&] { view->EnableControls(); });
    EXPECT_EQ(e.code(), qv::ErrorCode::State);
    EXPECT_EQ(view->suspendCount(), 0);
    EXPECT_EQ(takeChanges(), 0);
    view->DisableControls();
    view->EnableControls();
    EXPECT_EQ(takeChanges(), 1);
}

TEST_F(TDataSourceTest, ASecondViewFollowsWhileTheFirstIsSuspended) {
    TDataSource second(table.get());
    QSignalSpy secondChanges(&second, &TDataSource::dataChange);
    view->DisableControls();
    table->Next();
    table->Next();
    EXPECT_EQ(secondChanges.count(), 2);
    EXPECT_EQ(takeChanges(), 0);
    view->EnableControls();
    EXPECT_EQ(takeChanges(), 1);
    EXPECT_EQ(secondChanges.count(), 2);
}

TEST_F(TDataSourceTest, MovesOfAnEngineAccessObjectReachEveryView) {
    TDataSource second(table.get());
    TApollo apollo(&second);
    QSignalSpy secondChanges(&second, &TDataSource::dataChange);
    apollo.sx_Go(3);
    EXPECT_EQ(table->RecNo(), 3);
    EXPECT_EQ(takeChanges(), 1);
    EXPECT_EQ(secondChanges.count(), 1);
    apollo.sx_Skip(1);
    apollo.sx_GoTop();
    apollo.sx_GoBottom();
    EXPECT_EQ(takeChanges(), 3);
    apollo.sx_Replace(QStringLiteral("name"), TApollo::ReplaceText, QStringLiteral("direkt"));
    EXPECT_EQ(takeChanges(), 1);
}

TEST_F(TDataSourceTest, OpeningAndClosingReachTheControls) {
    table->Close();
    EXPECT_EQ(takeChanges(), 1);
    EXPECT_EQ(takeStates(), 1);
    EXPECT_EQ(view->State(), TTable::dsInactive);
    table->Open();
    EXPECT_EQ(takeChanges(), 1);
    EXPECT_EQ(takeStates(), 1);
}

TEST_F(TDataSourceTest, RebindingAndALostTableRefreshTheControls) {
    auto other = makeTable();
    view->setDataSet(nullptr);
    EXPECT_EQ(takeChanges(), 1);
    EXPECT_EQ(view->State(), TTable::dsInactive);
    table->Next();
    EXPECT_EQ(takeChanges(), 0);  // no longer bound

    view->setDataSet(other.get());
    takeChanges();
    other.reset();
    EXPECT_EQ(view->DataSet(), nullptr);
    EXPECT_EQ(takeChanges(), 1);
}

}  // namespace
