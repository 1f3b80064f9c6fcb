// The store tool's index commands, run in-process: tags, walk, seek, index,
// reindex, check, and append keeping the tags up to date.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "catalogue/qvdb.h"
#include "store/xbase/cp1252.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result runQvdb(const std::vector<std::string>& args, const std::string& input = {}) {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = qvdb::run(args, in, out, err);
    return {status, out.str(), err.str()};
}

QJsonObject expected(const std::string& table) {
    QFile f(QString::fromStdString(
        (qvtest::xbaseFixtures() / "catalog" / "expected" / (table + ".json")).string()));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(f.readAll()).object();
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> r;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        r.push_back(l);
    return r;
}

class QvdbIndex : public ::testing::Test {
  protected:
    void SetUp() override {
        qvtest::copyDirFiles(qvtest::xbaseFixtures() / "catalog", dir_.path());
    }
    std::string table(const std::string& name) const { return (dir_ / (name + ".dbf")).string(); }
    qvtest::TempDir dir_;
};

TEST_F(QvdbIndex, TagsListsPositionNameKeyConditionAndCount) {
    for (const char* name : {"_qvdisk", "_qvdir", "_verleih"}) {
        const Result r = runQvdb({"tags", table(name)});
        ASSERT_EQ(r.status, 0) << r.err;
        const QJsonArray tags = expected(name)["tags"].toArray();
        const auto got = lines(r.out);
        ASSERT_EQ(got.size(), static_cast<std::size_t>(tags.size()));
        for (int i = 0; i < tags.size(); ++i) {
            const QJsonObject t = tags[i].toObject();
            const std::string want =
                std::to_string(i + 1) + "\t" + t["name"].toString().toStdString() + "\t" +
                t["key"].toString().toStdString() + "\t" + t["for"].toString().toStdString() +
                "\t" + std::to_string(t["ordkeycount"].toInt());
            EXPECT_EQ(got[static_cast<std::size_t>(i)], want);
        }
    }
}

TEST_F(QvdbIndex, WalkPrintsEveryKeyInTagOrder) {
    const QJsonArray tags = expected("_qvdisk")["tags"].toArray();
    for (int i = 0; i < tags.size(); ++i) {
        const QJsonObject t = tags[i].toObject();
        // By name for the first, by position for the others.
        const std::string tag = i == 0 ? "eindeutig" : std::to_string(i + 1);
        const Result r = runQvdb({"walk", table("_qvdisk"), tag});
        ASSERT_EQ(r.status, 0) << r.err;
        std::string want;
        for (const QJsonValue& k : t["keys"].toArray())
            want += std::to_string(k.toArray()[0].toInt()) + " " +
                    k.toArray()[1].toString().toStdString() + "\n";
        EXPECT_EQ(r.out, want) << t["name"].toString().toStdString();
    }
    EXPECT_EQ(runQvdb({"walk", table("_qvdisk"), "NOSUCHTAG"}).status, 1);
}

TEST_F(QvdbIndex, SeekAnswersTheProbesOfTextAndNumericTags) {
    struct Case {
        const char* table;
        const char* tag;
        std::string key;
        bool soft;
        const char* want;
    } cases[] = {
        {"_endung", "endung1", "TXT", false, "found"},
        {"_qvdisk", "eindeutig", "12345678", false, "found"},
        {"_qvdisk", "eindeutig", "12345679", false, "notfound eof"},
        {"_qvdisk", "eindeutig", "-5", true, "notfound"},
        {"_qvdisk", "bezeich", "ÜBUNG", false, "found"},  // UTF-8 in, Windows-1252 key
        {"_qvdisk", "bezeich", "\xff", false, "notfound eof"},
        {"_qvdir", "dirnumm", "99999999", false, "found"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"seek", table(c.table), c.tag, c.key};
        if (c.soft) args.push_back("--soft");
        const Result r = runQvdb(args);
        SCOPED_TRACE(std::string(c.table) + " " + c.tag + " " + c.key);
        ASSERT_EQ(r.status, r.out.empty() ? 1 : 0) << r.err;
        EXPECT_EQ(r.out.substr(0, std::string(c.want).size()), c.want) << r.out;
        if (std::string(c.want) == "found" || std::string(c.want) == "notfound") {
            EXPECT_NE(r.out.find_first_of("0123456789"), std::string::npos) << r.out;
        }
    }
    EXPECT_EQ(runQvdb({"seek", table("_qvdisk"), "eindeutig", "abc"}).status, 1);
    EXPECT_EQ(runQvdb({"seek", table("_qvdisk"), "eindeutig", "1", "--hard"}).status, 1);
}

TEST_F(QvdbIndex, IndexReindexAndAppendKeepTheIndexSound) {
    Result r = runQvdb({"index", table("_katego"), "anzahl", "anzahl", "not deleted()"});
    ASSERT_EQ(r.status, 0) << r.err;
    r = runQvdb({"tags", table("_katego")});
    EXPECT_NE(r.out.find("2\tANZAHL\tanzahl\t.not. deleted()\t12"), std::string::npos) << r.out;
    r = runQvdb({"append", table("_katego")}, "{\"f\":{\"KATEGO\":\"Zzz\",\"ANZAHL\":3}}\n");
    ASSERT_EQ(r.status, 0) << r.err;
    r = runQvdb({"tags", table("_katego")});
    EXPECT_NE(r.out.find("\t13\n"), std::string::npos) << r.out;
    r = runQvdb({"reindex", table("_qvdir")});
    ASSERT_EQ(r.status, 0) << r.err;
    r = runQvdb({"check", dir_.path().string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "7 Tabellen geprüft, 0 Fehler\n");
    EXPECT_EQ(runQvdb({"index", table("_katego"), "leer", "trim(katego)"}).status, 1);
}

TEST_F(QvdbIndex, CheckNamesEveryFaultAndExitsWithOne) {
    // Record 1 rewritten behind the index's back: its entry no longer fits.
    std::vector<std::uint8_t> dbf = qvtest::readFile(table("_endung"));
    const std::size_t headerLen = dbf[8] | (dbf[9] << 8);
    dbf[headerLen + 1] = 'Q';  // record 1's extension
    dbf[headerLen + 2] = 'Q';
    qvtest::writeFile(table("_endung"), dbf);
    Result r = runQvdb({"check", table("_endung")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("ENDUNG1"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Datensatz 1"), std::string::npos) << r.err;
    // A damaged index file in a directory.
    std::vector<std::uint8_t> nsx = qvtest::readFile(dir_ / "_katego.nsx");
    nsx[0] = 'x';
    qvtest::writeFile(dir_ / "_katego.nsx", nsx);
    r = runQvdb({"check", dir_.path().string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("_katego.nsx"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("7 Tabellen geprüft"), std::string::npos) << r.out;
}

}  // namespace
