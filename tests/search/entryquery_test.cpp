// The entry query as an operation: the expression built from the dialog's
// fields, the subset it installs on a real catalogue, and qvdb query.
#include "search/core/entryquery.h"

#include <QString>

#include <array>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "queryrows.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"
#include "support/catalogue/cataloguebuilder.h"
#include "support/recordingprogress.h"
#include "support/testutil.h"

namespace {

using qv::CatalogueTable;
using qv::QueryCriteria;

TEST(QueryExpression, EveryCombinationOfFieldsWithBothJoiners) {
    const std::array<QString, 4> clauses = {
        QStringLiteral("upper(bezeich)=\"WIN\""), QStringLiteral("upper(kategorie)=\"SPIELE\""),
        QStringLiteral("upper(diskart)=\"CD\""), QStringLiteral("boxnummer=007")};
    for (bool orJoin : {false, true}) {
        const QString joiner = orJoin ? QStringLiteral(" .or.  ") : QStringLiteral(" .and. ");
        for (int mask = 0; mask < 16; ++mask) {
            QueryCriteria c;
            c.orJoin = orJoin;
            QStringList expected;
            if (mask & 1) c.title = QStringLiteral("win"), expected << clauses[0];
            if (mask & 2) c.category = QStringLiteral("Spiele"), expected << clauses[1];
            if (mask & 4) c.carrierType = QStringLiteral("cd"), expected << clauses[2];
            if (mask & 8)
                c.box = QStringLiteral("007"), expected << clauses[3];
            else
                c.box = QStringLiteral("0");  // the untouched spin field
            EXPECT_EQ(qv::buildQueryExpression(c), expected.join(joiner))
                << "mask " << mask << (orJoin ? " or" : " and");
        }
    }
}

TEST(QueryExpression, QuotesUpperCaseAndLength) {
    QueryCriteria c;
    // The engine's upper table keeps ß (Qt would make it SS, which no key holds).
    c.title = QStringLiteral("straße");
    EXPECT_EQ(qv::buildQueryExpression(c), QStringLiteral("upper(bezeich)=\"STRAßE\""));

    // A double quote moves the text into single quotes; a single one keeps double quotes.
    c.title = QStringLiteral("die \"k");
    EXPECT_EQ(qv::buildQueryExpression(c), QStringLiteral("upper(bezeich)='DIE \"K'"));
    c.title = QStringLiteral("o'neil");
    EXPECT_EQ(qv::buildQueryExpression(c), QStringLiteral("upper(bezeich)=\"O'NEIL\""));

    // Both kinds cannot be quoted: refused, naming the field.
    c.title.clear();
    c.category = QStringLiteral("a'b\"c");
    try {
        qv::buildQueryExpression(c);
        FAIL() << "no error";
    } catch (const qv::Error& e) {
        EXPECT_NE(e.text().find("Kategorie"), std::string::npos) << e.text();
        EXPECT_NE(e.text().find("Anführungszeichen"), std::string::npos) << e.text();
    }

    // The box goes in without quotes, so only digits are taken.
    c = QueryCriteria{};
    c.box = QStringLiteral("1 .or. .T.");
    EXPECT_THROW(qv::buildQueryExpression(c), qv::Error);
    c.box = QStringLiteral("00");  // not "0": inserted as typed
    EXPECT_EQ(qv::buildQueryExpression(c), QStringLiteral("boxnummer=00"));

    // Nothing but box 0: no condition at all.
    c.box = QStringLiteral("0");
    EXPECT_EQ(qv::buildQueryExpression(c), QString());

    // Texts beyond the fields' limits are cut at 255 characters.
    c.title = QString(200, QLatin1Char('a'));
    c.category = QString(200, QLatin1Char('b'));
    c.orJoin = true;
    const QString cut = qv::buildQueryExpression(c);
    EXPECT_EQ(cut.size(), 255);
    EXPECT_TRUE(cut.startsWith(QStringLiteral("upper(bezeich)=\"AAA")));
}

class QueryOnCatalogue : public ::testing::Test {
  protected:
    void SetUp() override {
        qvtest::createCatalogue(dir.path());
        qvtest::addEntries(dir.path(), qvtest::queryEntries());
    }
    struct Open {
        explicit Open(const std::filesystem::path& d)
            : dm(QString::fromStdString(d.string())), session(dm) {
            session.table(CatalogueTable::Entries).Open();
            apollo().sx_SetOrder(
                qv::tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
            apollo().sx_GoTop();
        }
        TApollo& apollo() { return session.apollo(CatalogueTable::Entries); }
        // The entry numbers the list shows, in its order.
        std::vector<int> listed() {
            TTable& t = session.table(CatalogueTable::Entries);
            std::vector<int> out;
            for (t.First(); !t.Eof(); t.Next())
                out.push_back(t.FieldByName(QStringLiteral("EINDEUTIG")).AsInteger());
            return out;
        }
        qv::QueryOutcome run(const QueryCriteria& c, qvtest::RecordingProgress& display) {
            qv::ScopedProgress progress(display);
            progress.phase(qv::queryRunningText());
            return qv::installEntryQuery(session, qv::buildQueryExpression(c), progress);
        }
        xb::SettingsGuard settings;
        TDM dm;
        qv::CatalogueSession session;
    };
    qvtest::TempDir dir;
};

TEST_F(QueryOnCatalogue, NarrowsTheListAndLiftsAgain) {
    Open o(dir.path());
    qvtest::RecordingProgress display;
    QueryCriteria c;
    c.title = QStringLiteral("win");
    const qv::QueryOutcome out = o.run(c, display);
    EXPECT_EQ(out.verdict, 2);
    EXPECT_EQ(display.lines2.back(), QStringLiteral("* Optimierte Abfrage *"));
    EXPECT_EQ(display.closes, 1);
    EXPECT_EQ(out.count, 2);
    EXPECT_TRUE(o.session.searchActive());
    // The list stands on the first hit; the flagged "Windig" is not among them.
    EXPECT_EQ(o.session.table(CatalogueTable::Entries).FieldByName("EINDEUTIG").AsInteger(), 1);
    EXPECT_EQ(o.listed(), (std::vector<int>{1, 2}));

    qv::liftEntryQuery(o.session);
    EXPECT_FALSE(o.session.searchActive());
    EXPECT_EQ(o.apollo().sx_Count(), 6);
    EXPECT_EQ(o.apollo().sx_OrderRecNo(), 1);
}

TEST_F(QueryOnCatalogue, JoinersBoxAndSpecialTexts) {
    Open o(dir.path());
    qvtest::RecordingProgress display;
    QueryCriteria c;
    c.title = QStringLiteral("win");
    c.category = QStringLiteral("spiele");
    c.orJoin = true;  // either matches; "Spiele" and "spiele" alike
    o.run(c, display);
    EXPECT_EQ(o.listed(), (std::vector<int>{4, 5, 1, 2}));
    qv::liftEntryQuery(o.session);

    c.orJoin = false;
    EXPECT_EQ(o.run(c, display).count, 0);
    qv::liftEntryQuery(o.session);

    // Leading zeros are compared as a number; a field without a tag lowers the verdict.
    c = QueryCriteria{};
    c.box = QStringLiteral("007");
    c.carrierType = QStringLiteral("cd");
    const qv::QueryOutcome boxed = o.run(c, display);
    EXPECT_EQ(o.listed(), (std::vector<int>{5, 3, 1}));
    EXPECT_EQ(boxed.verdict, 2);
    qv::liftEntryQuery(o.session);

    c = QueryCriteria{};
    c.title = QStringLiteral("straße");
    o.run(c, display);
    EXPECT_EQ(o.listed(), (std::vector<int>{3}));
    qv::liftEntryQuery(o.session);

    c.title = QStringLiteral("die \"kl");
    o.run(c, display);
    EXPECT_EQ(o.listed(), (std::vector<int>{6}));
    qv::liftEntryQuery(o.session);
}

TEST_F(QueryOnCatalogue, EmptyExpressionEntersTheStateWithoutACheck) {
    Open o(dir.path());
    qvtest::RecordingProgress display;
    QueryCriteria c;
    c.box = QStringLiteral("0");
    // The engine refuses an empty text as a condition: it must never be asked.
    const qv::QueryOutcome out = o.run(c, display);
    EXPECT_EQ(out.expression, QString());
    EXPECT_EQ(out.verdict, -1);
    EXPECT_EQ(out.count, 6);
    EXPECT_TRUE(o.session.searchActive());
    EXPECT_EQ(display.line2, QString());
}

TEST_F(QueryOnCatalogue, StoreToolPrintsExpressionVerdictAndHits) {
    qv::addQueryToolCommand();
    std::istringstream in;
    std::ostringstream out, err;
    const std::string d = dir.path().string();
    ASSERT_EQ(
        qvdb::run({"query", d, "--or", "--title", "win", "--category", "spiele"}, in, out, err), 0)
        << err.str();
    EXPECT_EQ(out.str(),
              "expression\tupper(bezeich)=\"WIN\" .or.  upper(kategorie)=\"SPIELE\"\n"
              "verdict\t2\t* Optimierte Abfrage *\n"
              "4\n5\n1\n2\n");

    out.str({});
    ASSERT_EQ(qvdb::run({"query", d, "--box", "0"}, in, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "expression\t\nverdict\t-1\t\n6\n4\n5\n3\n1\n2\n");

    // Both kinds of quote: refused before the catalogue is touched.
    err.str({});
    EXPECT_EQ(qvdb::run({"query", d, "--title", "a'b\"c"}, in, out, err), 1);
    EXPECT_NE(err.str().find("Anführungszeichen"), std::string::npos);

    // A catalogue held open elsewhere is refused.
    xb::SettingsGuard settings;
    TDM other(QString::fromStdString(d));
    other.table(CatalogueTable::Entries).Open();
    err.str({});
    out.str({});
    EXPECT_EQ(qvdb::run({"query", d, "--title", "win"}, in, out, err), 1);
    EXPECT_TRUE(out.str().empty());
    EXPECT_NE(err.str().find("qvdb: "), std::string::npos);
}

}  // namespace
