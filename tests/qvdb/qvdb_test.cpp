// The store tool's commands, run in-process with their own streams, and once
// as the real program.
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include "catalogue/json_text.h"
#include "catalogue/qvdb.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/table.h"
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

std::vector<QJsonObject> parseLines(const std::string& text) {
    std::vector<QJsonObject> objs;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        QJsonParseError e;
        const QJsonDocument d = QJsonDocument::fromJson(QByteArray::fromStdString(line), &e);
        EXPECT_EQ(e.error, QJsonParseError::NoError) << line;
        objs.push_back(d.object());
    }
    return objs;
}

QJsonObject expectedOf(const fs::path& dir, const std::string& table) {
    QFile f(QString::fromStdString((dir / "expected" / (table + ".json")).string()));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly));
    return QJsonDocument::fromJson(f.readAll()).object();
}

// The memo of the expected JSON as the dump writes it: its bytes as text.
QJsonValue memoAsText(const QJsonValue& v) {
    if (v.isNull()) return v;
    const std::string bytes = qvtest::fromHex(v.toObject()["hex"].toString().toStdString());
    return QString::fromStdString(xb::cp1252ToUtf8(bytes));
}

struct Set {
    const char* dir;
    const char* table;
};
std::ostream& operator<<(std::ostream& o, const Set& s) {
    return o << s.dir << "/" << s.table;
}

class DumpFixture : public ::testing::TestWithParam<Set> {};

// Compares dumped records with the expected JSON's records (a sample of
// them in the large set), matched by record number.
void expectDumpMatches(const fs::path& dir, const std::string& table, bool sampled) {
    const Result r = runQvdb({"dump", (dir / (table + ".dbf")).string()});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<QJsonObject> got = parseLines(r.out);
    const QJsonObject exp = expectedOf(dir, table);
    const QJsonArray records = exp["records"].toArray();
    const QJsonArray fields = exp["fields"].toArray();
    if (!sampled) {
        ASSERT_EQ(got.size(), static_cast<std::size_t>(records.size()));
    }
    ASSERT_EQ(got.size(), static_cast<std::size_t>(exp["dbf"].toObject()["record_count"].toInt()));
    for (const QJsonValue& rv : records) {
        const QJsonObject want = rv.toObject();
        const int recno = want["recno"].toInt();
        SCOPED_TRACE("record " + std::to_string(recno));
        ASSERT_GE(recno, 1);
        const QJsonObject have = got[static_cast<std::size_t>(recno - 1)];
        EXPECT_EQ(have["recno"], want["recno"]);
        EXPECT_EQ(have["deleted"], want["deleted"]);
        const QJsonObject wf = want["f"].toObject(), hf = have["f"].toObject();
        ASSERT_EQ(hf.size(), wf.size());
        for (const QJsonValue& fd : fields) {
            const QString name = fd.toArray()[0].toString();
            const bool memo = fd.toArray()[1].toString() == "M";
            EXPECT_EQ(hf[name], memo ? memoAsText(wf[name]) : wf[name]) << name.toStdString();
        }
    }
    // Fields come in file order.
    if (!got.empty()) {
        const std::string first = r.out.substr(0, r.out.find('\n'));
        std::size_t pos = 0;
        for (const QJsonValue& fd : fields) {
            const std::string key = "\"" + fd.toArray()[0].toString().toStdString() + "\":";
            const std::size_t at = first.find(key, pos);
            ASSERT_NE(at, std::string::npos) << key;
            pos = at;
        }
    }
}

TEST_P(DumpFixture, ParsesBackToTheExpectedRecords) {
    expectDumpMatches(qvtest::xbaseFixtures() / GetParam().dir, GetParam().table, false);
}

TEST(DumpLarge, SampledRecordsMatch) {
    const fs::path dir = qvtest::largeFixture();
    if (dir.empty()) GTEST_SKIP() << "large fixture not unpacked";
    expectDumpMatches(dir, "_qvdir", true);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, DumpFixture,
                         ::testing::Values(Set{"catalog", "_qvdisk"}, Set{"catalog", "_qvdir"},
                                           Set{"catalog", "_endung"}, Set{"catalog", "_katego"},
                                           Set{"catalog", "_diskart"}, Set{"catalog", "_verleih"},
                                           Set{"catalog", "tessarin"}, Set{"edge", "_katego"},
                                           Set{"edge", "_endung"}, Set{"edge", "_diskart"},
                                           Set{"edge", "_verleih"}),
                         [](const ::testing::TestParamInfo<Set>& i) {
                             return std::string(i.param.dir) + std::string(i.param.table);
                         });

TEST(JsonText, NumbersReadAsTheirFieldText) {
    const std::pair<const char*, const char*> cases[] = {
        {"      12", "12"}, {"  0.50", "0.5"}, {" -0.50", "-0.5"}, {"    -0", "0"},
        {"  2.00", "2"},    {"   007", "7"},   {"  .5", "0.5"},    {"  5.", "5"},
        {"***", "0"},       {" 12ab", "12"},   {"+3", "3"},        {"4294967295", "4294967295"},
    };
    for (const auto& [in, want] : cases)
        EXPECT_EQ(qvdb::jsonNumber(in), want) << in;
    std::string s;
    qvdb::appendJsonString(s, std::string("a\"b\\c\n\x01\x7f\xc3\xa4", 10));
    EXPECT_EQ(s, "\"a\\\"b\\\\c\\n\\u0001\\u007f\xc3\xa4\"");
}

TEST(Qvdb, CreateAppendDumpRoundTrip) {
    qvtest::TempDir dir;
    const std::string file = (dir / "neu.dbf").string();
    Result r = runQvdb({"create", file, "name:C:20", "menge:N:8:2", "tag:D", "ok:L", "text:M"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string input =
        "{\"recno\":7,\"deleted\":false,\"f\":{\"NAME\":\"Bürosoftware €\",\"MENGE\":12.5,"
        "\"TAG\":\"20241224\",\"OK\":true,\"TEXT\":\"Zeile 1\\r\\nZeile 2\"}}\n"
        "\n"
        "{\"deleted\":true,\"f\":{\"name\":\"klein\",\"MENGE\":null,\"TAG\":\"\",\"OK\":null,"
        "\"TEXT\":null}}\n"
        "{\"f\":{\"MENGE\":-0.5,\"TEXT\":\"\"}}\n";
    r = runQvdb({"append", file}, input);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "3 Datensätze angehängt\n");
    r = runQvdb({"dump", file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"recno\":1,\"deleted\":false,\"f\":{\"NAME\":\"Bürosoftware €\",\"MENGE\":12.5,"
              "\"TAG\":\"20241224\",\"OK\":true,\"TEXT\":\"Zeile 1\\r\\nZeile 2\"}}\n"
              "{\"recno\":2,\"deleted\":true,\"f\":{\"NAME\":\"klein\",\"MENGE\":null,\"TAG\":\"\","
              "\"OK\":null,\"TEXT\":null}}\n"
              "{\"recno\":3,\"deleted\":false,\"f\":{\"NAME\":\"\",\"MENGE\":-0.5,\"TAG\":\"\","
              "\"OK\":null,\"TEXT\":\"\"}}\n");
    // The text is stored in Windows-1252.
    auto t = xb::Table::open(file, xb::OpenMode::ReadOnly);
    EXPECT_EQ(t->text(0), "B\xfcrosoftware \x80" + std::string(6, ' '));
    EXPECT_EQ(t->raw(1), "   12.50");

    // The file table's memo keeps whole paths in UTF-8, any character.
    const std::string files = (dir / "dateien.dbf").string();
    ASSERT_EQ(runQvdb({"create", files, "dirname:C:15", "dirmemo:M"}).status, 0);
    const std::string path =
        "{\"recno\":1,\"deleted\":false,\"f\":{\"DIRNAME\":\"a\","
        "\"DIRMEMO\":\"/Fotos/ Straße ✓ 東京.jpg\"}}\n";
    ASSERT_EQ(runQvdb({"append", files}, path).status, 0);
    EXPECT_EQ(runQvdb({"dump", files}).out, path);
    {
        auto f = xb::Table::open(files, xb::OpenMode::ReadOnly);
        f->go(1);
        EXPECT_EQ(f->getMemo(1), "/Fotos/ Straße ✓ 東京.jpg");
    }

    // A dump fed to append reproduces the records of a fixture table.
    const fs::path src = qvtest::xbaseFixtures() / "catalog" / "_qvdisk.dbf";
    const Result d = runQvdb({"dump", src.string()});
    const std::string copy = (dir / "kopie.dbf").string();
    std::vector<std::string> defs = {"create", copy};
    {
        auto s = xb::Table::open(src.string(), xb::OpenMode::ReadOnly);
        for (const xb::FieldDesc& f : s->fields().all())
            defs.push_back(f.name + ":" + f.type + ":" + std::to_string(f.len) + ":" +
                           std::to_string(f.dec));
    }
    ASSERT_EQ(runQvdb(defs).status, 0);
    r = runQvdb({"append", copy}, d.out);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(runQvdb({"dump", copy}).out, d.out);
}

TEST(Qvdb, AMalformedLineStopsAfterTheLinesBeforeIt) {
    const std::string good = "{\"f\":{\"KATEGO\":\"Spiele\",\"ANZAHL\":3}}\n";
    const std::pair<std::string, std::string> bad[] = {
        {"{\"f\":{\"KATEGO\":\"x\"}", "kein gültiges JSON"},
        {"[1,2]", "kein JSON-Objekt"},
        {"{\"f\":{\"NIX\":1}}", "kein Feld NIX"},
        {"{\"f\":{\"ANZAHL\":\"3\"}}", "Zahl erwartet"},
        {"{\"f\":{\"ANZAHL\":1234567}}", "passt nicht"},
        {"{\"f\":{\"KATEGO\":\"viel zu lange Kategorie\"}}", "länger als 20"},
        {"{\"deleted\":1}", "deleted"},
        {"{\"felder\":{}}", "unbekannter Eintrag"},
        {"{\"f\":[]}", "Objekt"},
    };
    for (const auto& [line, why] : bad) {
        qvtest::TempDir dir;
        const std::string file = (dir / "k.dbf").string();
        ASSERT_EQ(runQvdb({"create", file, "katego:C:20", "anzahl:N:6"}).status, 0);
        const Result r = runQvdb({"append", file}, good + good + line + "\n" + good);
        EXPECT_EQ(r.status, 1) << line;
        EXPECT_NE(r.err.find("Zeile 3: "), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
        EXPECT_EQ(xb::Table::open(file, xb::OpenMode::ReadOnly)->recCount(), 2u) << line;
    }
    // Dates must be real dates.
    qvtest::TempDir dir;
    const std::string file = (dir / "d.dbf").string();
    ASSERT_EQ(runQvdb({"create", file, "tag:D"}).status, 0);
    const Result r = runQvdb({"append", file}, "{\"f\":{\"TAG\":\"20240230\"}}\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Zeile 1: Feld TAG: ungültiges Datum"), std::string::npos) << r.err;
}

TEST(Qvdb, InfoShowsHeaderFieldsAndMemoFacts) {
    const fs::path file = qvtest::xbaseFixtures() / "catalog" / "_qvdisk.dbf";
    const Result r = runQvdb({"info", file.string()});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* part :
         {"Kennung:            0xE5 (Memodatei: SMT)", "Datensätze:         62 (im Kopf: 62)",
          "Kopflänge:          738 (Abschluss 2 Bytes)", "Satzlänge:          138",
          "Byte 28:            0x01 (Produktionsindex)", "Felder:             22",
          "    1  EINDEUTIG  N     8  0  Offset 1", "   22  MEMO       M    10  0  Offset 128",
          "_qvdisk.smt (SMT)", "Dateigröße:       5420", "Blockgröße:       64",
          "Nächster freier Block: 85", "2 Blöcke ab Block 70"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;
}

TEST(Qvdb, UsageAndEngineErrorsExitWithOne) {
    qvtest::TempDir dir;
    const std::string missing = (dir / "fehlt.dbf").string();
    struct Case {
        std::vector<std::string> args;
        std::string errPart;
    };
    const std::string existing = (qvtest::xbaseFixtures() / "catalog" / "_katego.dbf").string();
    const Case cases[] = {
        {{}, "Aufruf: qvdb"},
        {{"zeige", "x.dbf"}, "unbekannter Befehl \"zeige\""},
        {{"dump"}, "Aufruf"},
        {{"dump", "a.dbf", "b.dbf"}, "Aufruf"},
        {{"dump", missing}, "Die Datei " + missing + " wurde nicht gefunden"},
        {{"info", missing}, "wurde nicht gefunden"},
        {{"create", (dir / "x.dbf").string()}, "mindestens eine Feldangabe"},
        {{"create", (dir / "x.dbf").string(), "name"}, "ungültige Feldangabe \"name\""},
        {{"create", (dir / "x.dbf").string(), "name:C:zehn"}, "ungültige Feldangabe"},
        {{"create", (dir / "x.dbf").string(), "name:Q:5"}, "unbekannten Typ Q"},
        {{"create", (dir / "x.dbf").string(), "a:C:5", "A:N:3"}, "doppelt"},
        {{"create", existing, "a:C:5"}, "gibt es bereits"},
    };
    for (const Case& c : cases) {
        const Result r = runQvdb(c.args);
        EXPECT_EQ(r.status, 1);
        EXPECT_NE(r.err.find(c.errPart), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "x.dbf"));
    // Asking for the usage is no error.
    for (const char* ask : {"help", "--help"}) {
        const Result r = runQvdb({ask});
        EXPECT_EQ(r.status, 0) << ask;
        EXPECT_EQ(r.out.rfind("Aufruf: qvdb", 0), 0u) << r.out;
        EXPECT_EQ(r.err, "");
    }

    // A table held by another opener.
    const std::string file = (dir / "k.dbf").string();
    ASSERT_EQ(runQvdb({"create", file, "a:C:5"}).status, 0);
    auto held = xb::Table::open(file);
    const Result r = runQvdb({"dump", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "qvdb: Die Datei " + file + " wird bereits von einem anderen Programm benutzt\n");
}

TEST(Qvdb, TheRealProgramBehavesLikeTheCommands) {
    const QString program = QString::fromStdString((qvtest::binDir() / "qvdb").string());
    ASSERT_TRUE(fs::exists(program.toStdString()));
    const std::string file = (qvtest::xbaseFixtures() / "catalog" / "_verleih.dbf").string();
    QProcess p;
    p.start(program, {"dump", QString::fromStdString(file)});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(p.readAllStandardOutput().toStdString(), runQvdb({"dump", file}).out);

    qvtest::TempDir dir;
    const std::string neu = (dir / "neu.dbf").string();
    p.start(program, {"create", QString::fromStdString(neu), "name:C:10"});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    p.start(program, {"append", QString::fromStdString(neu)});
    ASSERT_TRUE(p.waitForStarted());
    p.write("{\"f\":{\"NAME\":\"eins\"}}\n{\"f\":{\"NAME\":2}}\n");
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_EQ(p.readAllStandardError().toStdString(), "qvdb: Zeile 2: Feld NAME: Text erwartet\n");
    EXPECT_EQ(xb::Table::open(neu, xb::OpenMode::ReadOnly)->recCount(), 1u);
}

// The lines of the tool's output that are step texts (not bar values).
std::vector<std::string> textLines(const std::string& out) {
    std::vector<std::string> texts;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of("0123456789") != std::string::npos) texts.push_back(line);
    }
    return texts;
}

TEST(QvdbCatalogue, InitCreatesACatalogueAndReorgRebuildsIt) {
    qvtest::TempDir dir;
    const std::string d = dir.path().string();
    Result r = runQvdb({"init", d});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> indexTexts = {
        "Indexdatei Dateien ...",          "Indexdatei Endungen ...", "Indexdatei Kategorien ...",
        "Indexdatei Datenträgerarten ...", "Indexdatei Adressen ...", "Indexdatei Datenträger ..."};
    EXPECT_EQ(textLines(r.out), indexTexts);
    EXPECT_EQ(r.out.substr(0, 23), "Indexdatei Dateien ...\n");
    EXPECT_NE(r.out.find("\n99\n"), std::string::npos) << "the bar's values as lines";
    EXPECT_EQ(runQvdb({"check", d}).status, 0);
    EXPECT_EQ(runQvdb({"init", d}).out, "") << "nothing left to create";

    r = runQvdb({"reorg", d});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> expected = {"Datenbank schließen, Index löschen",
                                         "1.Grunddaten verdichten",
                                         "2.Zusatzdateien verdichten",
                                         "3. Dateiendungen verdichten",
                                         "4.Kategorien verdichten",
                                         "5.Datenträgerart verdichten",
                                         "6.Adressen verdichten"};
    expected.insert(expected.end(), indexTexts.begin(), indexTexts.end());
    EXPECT_EQ(textLines(r.out), expected);
    EXPECT_NE(r.out.find("1.Grunddaten verdichten\n100\n"), std::string::npos) << r.out;
    EXPECT_EQ(runQvdb({"check", d}).status, 0);
}

TEST(QvdbCatalogue, InitFailsWithTheProgramsMessages) {
    qvtest::TempDir dir;
    // No directory to create the catalogue in.
    Result r = runQvdb({"init", (dir / "fehlt").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Abbruch: Anlegen der Datenbank QVDIRW nicht möglich\n");

    // A catalogue held open by another program (here: this test).
    ASSERT_EQ(runQvdb({"init", dir.path().string()}).status, 0);
    auto held = xb::Table::open((dir / "_qvdir.dbf").string());
    QProcess p;
    p.start(QString::fromStdString((qvtest::binDir() / "qvdb").string()),
            {"init", QString::fromStdString(dir.path().string())});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_EQ(p.readAllStandardError().toStdString(),
              "qvdb: Die Datei " + (dir / "_qvdir.dbf").string() +
                  " wird bereits von einem anderen Programm benutzt\n");
}

}  // namespace

namespace {

// A memo file cut short: the dump reports every record whose memo is lost
// and goes on, so that the rest of the table can be saved.
TEST(Qvdb, ADumpGoesOnPastMemosBeyondTheMemoFilesEnd) {
    qvtest::TempDir dir;
    const std::string file = (dir / "notizen.dbf").string();
    ASSERT_EQ(runQvdb({"create", file, "name:C:10", "text:M"}).status, 0);
    std::string input;
    for (int i = 1; i <= 4; ++i)
        input += "{\"f\":{\"NAME\":\"n" + std::to_string(i) + "\",\"TEXT\":\"" +
                 std::string(200, static_cast<char>('a' + i)) + "\"}}\n";
    ASSERT_EQ(runQvdb({"append", file}, input).status, 0);
    // The first memo's blocks stay, the later ones are cut off.
    const fs::path smt = dir / "notizen.smt";
    fs::resize_file(smt, 512 + 4 * 64);

    const Result r = runQvdb({"dump", file});
    EXPECT_EQ(r.status, 1);
    const std::vector<QJsonObject> recs = parseLines(r.out);
    ASSERT_EQ(recs.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const QJsonObject f = recs[static_cast<std::size_t>(i)]["f"].toObject();
        EXPECT_EQ(f["NAME"].toString(), QStringLiteral("n%1").arg(i + 1));
        if (i == 0)
            EXPECT_EQ(f["TEXT"].toString().size(), 200);
        else
            EXPECT_TRUE(f["TEXT"].isNull()) << i;
    }
    for (const char* rec :
         {"Datensatz 2, Feld TEXT: ", "Datensatz 3, Feld TEXT: ", "Datensatz 4, Feld TEXT: "})
        EXPECT_NE(r.err.find(rec), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("Datensatz 1,"), std::string::npos) << r.err;
}

}  // namespace
