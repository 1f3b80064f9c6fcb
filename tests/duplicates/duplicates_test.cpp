// Groups of copies and the carrier comparison on small catalogues, checked
// against counts made here independently, and the store tool's twins.
#include "duplicates/core/duplicates.h"

#include <map>
#include <set>
#include <sstream>
#include <tuple>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "duplicates/core/duplicatestool.h"
#include "store/conversion.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"
#include "store/xbase/table.h"
#include "support/catalogue/cataloguebuilder.h"
#include "support/testutil.h"

namespace {

using qv::CatalogueTable;
using qvtest::EntryRow;
using qvtest::FileRow;

FileRow file(int owner, const char* name, const char* ext, qint64 size, int day = 1,
             const char* time = "10:00") {
    const QString n = QString::fromUtf8(name), e = QString::fromUtf8(ext);
    return FileRow(owner, QStringLiteral("/D%1/ %2.%3").arg(owner).arg(n, e), n, e, size,
                   QDate(1998, 3, day), QString::fromUtf8(time));
}

class Duplicates : public ::testing::Test {
  protected:
    void build(const std::vector<EntryRow>& entries, const std::vector<FileRow>& files) {
        qvtest::createCatalogue(dir.path());
        qvtest::addEntries(dir.path(), entries);
        qvtest::addFiles(dir.path(), files);
        open();
    }
    void open() {
        dm = std::make_unique<TDM>(QString::fromStdString(dir.path().string()));
        session = std::make_unique<qv::CatalogueSession>(*dm);
        session->table(CatalogueTable::Entries).Open();
        session->table(CatalogueTable::Files).Open();
        session->apollo(CatalogueTable::Files).sx_SetOrder(1);
    }
    // Each group as "SIZE:owner,owner,..." in the report's order.
    std::vector<std::string> groups(const qv::DuplicateOptions& o) {
        const qv::DuplicateReport r = *qv::findDuplicates(*session, o);
        std::vector<std::string> out;
        for (const qv::DuplicateGroup& g : r.groups) {
            std::string s = std::to_string(g.size) + ":";
            for (std::uint32_t k = 0; k < g.copies; ++k)
                s += (k ? "," : "") + std::to_string(r.copies[g.first + k].owner);
            out.push_back(s);
        }
        return out;
    }
    int qvdbRun(const std::vector<std::string>& args, std::string* out) {
        qv::addDuplicateToolCommands();
        std::istringstream in;
        std::ostringstream o, e;
        const int rc = qvdb::run(args, in, o, e);
        *out = o.str() + e.str();
        return rc;
    }

    xb::SettingsGuard settings;
    qvtest::TempDir dir;
    std::unique_ptr<TDM> dm;
    std::unique_ptr<qv::CatalogueSession> session;
};

std::vector<EntryRow> fourEntries() {
    EntryRow gone(3, QStringLiteral("Gelöscht"));
    gone.deleted = true;
    return {EntryRow(1, QStringLiteral("Eins"), 1, 1), EntryRow(2, QStringLiteral("Zwei"), 1, 2),
            gone, EntryRow(4, QStringLiteral("Vier"), 2, 1)};
}

TEST_F(Duplicates, GroupsFollowTheRuleAndCountOnlyLiveFiles) {
    build(fourEntries(),
          {
              file(1, "SETUP", "EXE", 1000),
              file(2, "SETUP", "EXE", 1000, 2),
              file(4, "setup", "exe", 1000, 1, "11:11"),  // case folded as the engine does
              file(3, "SETUP", "EXE", 1000),              // its entry is deleted
              file(99999999, "SETUP", "EXE", 1000),       // released
              file(777, "SETUP", "EXE", 1000),            // no entry
              file(1, "README", "TXT", 10),
              file(2, "README", "TXT", 11),  // same name, other size: no copy
              file(1, "Maßband", "txt", 300),
              file(2, "MAßBAND", "TXT", 300),  // ß has no capital; ä does
              file(4, "ÄRGER", "DOC", 300),
              file(4, "ärger", "doc", 300),  // two copies on one entry count too
              file(2, "OTHER", "BIN", 1000, 2),
          });
    qv::DuplicateOptions o;
    EXPECT_EQ(groups(o), (std::vector<std::string>{"1000:1,2,4", "300:1,2", "300:4,4"}));
    const qv::DuplicateReport r = *qv::findDuplicates(*session, o);
    EXPECT_EQ(r.copyCount, 7);
    EXPECT_EQ(r.wastedBytes, 2000 + 300 + 300);
    EXPECT_EQ(r.filesCounted, 10);

    // With date and time the SETUP copies part; without the name, size,
    // date and time join SETUP on 2 with OTHER on 2.
    o.rule = qv::DuplicateRule::NameAndDate;
    EXPECT_EQ(groups(o), (std::vector<std::string>{"300:1,2", "300:4,4"}));
    o.rule = qv::DuplicateRule::SizeAndDate;
    EXPECT_EQ(groups(o), (std::vector<std::string>{"1000:2,2", "300:1,2,4,4"}));

    // Filters: a minimum size, extensions in any case.
    o = {};
    o.minSize = 301;
    EXPECT_EQ(groups(o), (std::vector<std::string>{"1000:1,2,4"}));
    o = {};
    o.extensions = {QStringLiteral("txt"), QStringLiteral(".Doc")};
    EXPECT_EQ(groups(o), (std::vector<std::string>{"300:1,2", "300:4,4"}));

    // Only the entries of an installed query.
    session->apollo(CatalogueTable::Entries).sx_Query(QStringLiteral("eindeutig>1"));
    o = {};
    o.onlyQueryEntries = true;
    EXPECT_EQ(groups(o), (std::vector<std::string>{"1000:2,4", "300:4,4"}));
}

TEST_F(Duplicates, RandomCatalogueAgreesWithAnIndependentCount) {
    // Few names and sizes, so that many files collide by name or size only.
    std::vector<EntryRow> entries;
    for (int e = 1; e <= 12; ++e)
        entries.emplace_back(e, QStringLiteral("E%1").arg(e));
    entries[5].deleted = true;
    std::vector<FileRow> files;
    std::uint64_t x = qvtest::testSeed() | 1;
    auto next = [&x](std::uint64_t n) {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x % n;
    };
    const char* names[] = {"a", "A", "b", "readme", "README", "c"};
    std::map<std::tuple<std::string, qint64>, std::multiset<int>> expected;
    for (int i = 0; i < 1500; ++i) {
        const int owner = next(20) == 0 ? 99999999 : 1 + static_cast<int>(next(13));
        const std::string name = names[next(6)];
        const qint64 size = static_cast<qint64>(next(40));
        files.push_back(file(owner, name.c_str(), "dat", size));
        if (owner <= 12 && owner != 6)
            expected[{qv::engineUpper(QString::fromStdString(name)).toStdString(), size}].insert(
                owner);
    }
    build(entries, files);
    const qv::DuplicateReport r = *qv::findDuplicates(*session, {});
    std::int64_t groupsWanted = 0, copiesWanted = 0, bytesWanted = 0;
    for (const auto& [key, owners] : expected) {
        if (owners.size() < 2) continue;
        ++groupsWanted;
        copiesWanted += static_cast<std::int64_t>(owners.size());
        bytesWanted += std::get<1>(key) * static_cast<std::int64_t>(owners.size() - 1);
    }
    EXPECT_EQ(static_cast<std::int64_t>(r.groups.size()), groupsWanted);
    EXPECT_EQ(r.copyCount, copiesWanted);
    EXPECT_EQ(r.wastedBytes, bytesWanted);
    for (std::size_t i = 1; i < r.groups.size(); ++i)
        EXPECT_GE(r.groups[i - 1].wasted(), r.groups[i].wasted());

    // The store tool prints the same totals.
    session.reset();
    dm.reset();
    std::string out;
    ASSERT_EQ(qvdbRun({"dupes", dir.path().string()}, &out), 0) << out;
    EXPECT_NE(
        out.find("groups\t" + std::to_string(groupsWanted) + "\tcopies\t" +
                 std::to_string(copiesWanted) + "\tbytes\t" + std::to_string(bytesWanted) + "\n"),
        std::string::npos)
        << out;
}

TEST_F(Duplicates, ComparisonVerdictsBothWays) {
    build(fourEntries(),
          {
              file(1, "A", "EXE", 2048), file(1, "B", "EXE", 100), file(2, "a", "exe", 2048),
              file(2, "B", "EXE", 100), file(4, "A", "EXE", 2048),
              file(4, "UNIQUE", "ZIP", 3 * 1024 * 1024 + 300000), file(4, "UNIQUE2", "ZIP", 5),
              file(3, "UNIQUE", "ZIP", 3 * 1024 * 1024 + 300000),  // deleted entry
          });
    const qv::CarrierComparison one = *qv::compareCarrier(*session, 1, qv::DuplicateRule::Name);
    EXPECT_EQ(one.files, 2);
    EXPECT_EQ(one.elsewhere, 2);
    EXPECT_TRUE(one.onlyHere.empty());
    EXPECT_EQ(one.verdict(), "Alle 2 Dateien sind auch auf anderen Datenträgern vorhanden.");
    ASSERT_EQ(one.sharedWith.size(), 2u);
    EXPECT_EQ(one.sharedWith[0].entry.number, 2);  // most files first
    EXPECT_EQ(one.sharedWith[0].files, 2);
    EXPECT_EQ(one.sharedWith[0].bytes, 2148);
    EXPECT_EQ(one.sharedWith[1].entry.number, 4);
    EXPECT_EQ(one.sharedWith[1].files, 1);

    const qv::CarrierComparison four = *qv::compareCarrier(*session, 4, qv::DuplicateRule::Name);
    EXPECT_EQ(four.elsewhere, 1);
    ASSERT_EQ(four.onlyHere.size(), 2u);
    EXPECT_EQ(four.onlyHere[0].path, "/D4/ UNIQUE.ZIP");
    EXPECT_EQ(four.onlyBytes, 3 * 1024 * 1024 + 300005);
    EXPECT_EQ(four.verdict(), "2 Dateien (3,3 MB) gibt es nur hier.");

    // A deleted entry is no carrier to compare.
    EXPECT_THROW(qv::compareCarrier(*session, 3, qv::DuplicateRule::Name), qv::Error);

    session.reset();
    dm.reset();
    std::string out;
    ASSERT_EQ(qvdbRun({"compare", dir.path().string(), "4"}, &out), 0) << out;
    EXPECT_EQ(out,
              "elsewhere\t1\tEins\t1\t2048\n"
              "elsewhere\t2\tZwei\t1\t2048\n"
              "only\t/D4/ UNIQUE.ZIP\n"
              "only\t/D4/ UNIQUE2.ZIP\n"
              "verdict\t2\t3445733\n");
    ASSERT_EQ(qvdbRun({"dupes", dir.path().string(), "--min-size", "1000"}, &out), 0) << out;
    EXPECT_EQ(out,
              "group\t2048\t3\n"
              "1\tEins\t/D1/ A.EXE\n"
              "2\tZwei\t/D2/ a.exe\n"
              "4\tVier\t/D4/ A.EXE\n"
              "groups\t1\tcopies\t3\tbytes\t4096\n");
    EXPECT_EQ(qvdbRun({"dupes", dir.path().string(), "--by", "colour"}, &out), 1);
}

TEST_F(Duplicates, WholeNamesKeptByTheReadingAreShownAndPrinted) {
    build({EntryRow(1, QStringLiteral("Eins"), 1, 1), EntryRow(2, QStringLiteral("Zwei"), 1, 2)},
          {file(1, "Steuererklärung", "pdf", 500), file(2, "Steuererklärung", "pdf", 500),
           file(1, "Steuererklärung", "pdf", 9)});
    session.reset();
    dm.reset();
    // The cut names, as the reading keeps them: the whole path in the memo.
    const std::vector<std::string> kept = {"/D1/ Steuererklärung 2023 endgültig.pdf",
                                           "/D2/ Steuererklärung 2023 endgültig.pdf",
                                           "/D1/ Steuererklärung 2022 Entwurf.pdf"};
    {
        auto t = xb::Table::open((dir.path() / "_qvdir.dbf").string());
        for (std::uint32_t r = 1; r <= 3; ++r) {
            t->go(r);
            t->replaceMemo(t->fieldIndex("dirmemo"), kept[r - 1]);
            t->commitRecord();
        }
        t->close();
    }
    std::string out;
    ASSERT_EQ(qvdbRun({"dupes", dir.path().string()}, &out), 0) << out;
    EXPECT_EQ(out, "group\t500\t2\n1\tEins\t" + kept[0] + "\n2\tZwei\t" + kept[1] +
                       "\ngroups\t1\tcopies\t2\tbytes\t500\n");
    ASSERT_EQ(qvdbRun({"compare", dir.path().string(), "1"}, &out), 0) << out;
    EXPECT_NE(out.find("only\t" + kept[2] + "\n"), std::string::npos) << out;

    open();
    const qv::FileFacts f = qv::readFileFacts(*session, 1);
    EXPECT_EQ(f.shownName(), QStringLiteral("Steuererklärung 2023 endgültig.pdf"));
    EXPECT_EQ(f.shownPath(), QString::fromStdString(kept[0]));
    qv::FileFacts plain;
    plain.path = QStringLiteral("/A/ SETUP");
    plain.name = QStringLiteral("SETUP");
    plain.extension = QStringLiteral("EXE");
    EXPECT_EQ(plain.shownName(), QStringLiteral("SETUP.EXE"));
    EXPECT_EQ(plain.shownPath(), QStringLiteral("/A/ SETUP"));
    plain.name = QStringLiteral("index.html");  // the extension field holds "HTM"
    plain.extension = QStringLiteral("HTM");
    EXPECT_EQ(plain.shownName(), QStringLiteral("index.html"));
}

TEST_F(Duplicates, CancelAnswersNothingAndChangesNothing) {
    std::vector<FileRow> files;
    for (int i = 0; i < 20000; ++i)
        files.push_back(file(1 + i % 2, "F", "DAT", i % 500));
    build(fourEntries(), files);
    TApollo& apollo = session->apollo(CatalogueTable::Files);
    apollo.sx_Go(1234);
    const std::vector<std::uint8_t> before = qvtest::readFile(dir.path() / "_qvdir.dbf");
    const auto stopSoon = [](int) { return false; };
    EXPECT_FALSE(qv::findDuplicates(*session, {}, stopSoon).has_value());
    EXPECT_FALSE(qv::compareCarrier(*session, 1, qv::DuplicateRule::Name, stopSoon).has_value());
    EXPECT_EQ(apollo.sx_RecNo(), 1234);
    EXPECT_EQ(apollo.sx_IndexOrd(), 1);
    EXPECT_EQ(qvtest::readFile(dir.path() / "_qvdir.dbf"), before);
    // Run through, the same session answers.
    const qv::DuplicateReport r = *qv::findDuplicates(*session, {});
    EXPECT_EQ(r.groups.size(), 500u);
    EXPECT_EQ(r.copyCount, 20000);
}

}  // namespace
