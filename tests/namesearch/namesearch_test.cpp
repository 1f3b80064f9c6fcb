// The search by any part of a name: the pattern rules, the filters, the
// name index against a plain scan of the table, its freshness and damage
// checks, and the store tool's command.
#include <fstream>
#include <random>
#include <sstream>

#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "namesearch/core/filetableimage.h"
#include "namesearch/core/nameindex.h"
#include "namesearch/core/namepattern.h"
#include "namesearch/core/namesearch.h"
#include "namesearch/core/namesearchtool.h"
#include "namesearch/core/textscan.h"
#include "namesearch/ui/dateinamensuche.h"
#include "store/xbase/coding.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "support/testutil.h"
#include "ui/scripteddialogs.h"

namespace fs = std::filesystem;

namespace {

struct File {
    int entry;
    const char* path;  // UTF-8, "/dir/ name"
    std::int64_t size;
    int ymd;  // YYYYMMDD
};

// The files of the test catalogue. Paths that fit go to DIRPFAD alone; the
// others are cut there and kept whole in the memo, as the reading does.
const File kFiles[] = {
    {1, "/Steuer/2023/ Steuererklärung 2023 endgültig.pdf", 120000, 20240310},
    {1, "/Steuer/2022/ Beleg.PDF", 800, 20230105},
    {2, "/Fotos/ STRAßE.jpg", 5000000, 20190704},
    {2, "/Fotos/Urlaub/ IMG_0001.JPG", 4000000, 20190705},
    {2, "/Fotos/Urlaub/ IMG_00012.JPG", 4100000, 20190706},
    {3, "/Musik/ Ärger über Öl.mp3", 3000000, 20100101},
    {3, "/Texte/ Ελλάδα.txt", 10, 20000101},
    {3, "/Texte/ liesmich", 20, 20000102},
    {99999999, "/Alt/ urlaub.txt", 1, 19990101},  // released
};

void addFile(xb::Table& t, const File& f) {
    const std::string cp = xb::utf8ToCp1252(f.path);
    const std::string name = cp.substr(cp.rfind("/ ") + 2);
    t.append();
    t.replaceNumber(t.fieldIndex("dirnumm"), f.entry);
    t.replaceText(t.fieldIndex("dirname"), name.substr(0, 15));
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) t.replaceText(t.fieldIndex("direndung"), name.substr(dot + 1, 3));
    t.replaceText(t.fieldIndex("dirpfad"), cp.substr(0, 86));
    t.replaceNumber(t.fieldIndex("dirsize"), static_cast<double>(f.size));
    t.replaceDate(t.fieldIndex("dirdate"),
                  xb::dateToJdn(f.ymd / 10000, f.ymd / 100 % 100, f.ymd % 100));
    if (name.size() > 15 || cp.find('?') != std::string::npos)
        t.replaceMemo(t.fieldIndex("dirmemo"), f.path);
    t.commitRecord();
}

class NameSearch : public ::testing::Test {
  protected:
    void SetUp() override {
        fs::create_directories(dir);
        std::ostringstream out, err;
        ASSERT_EQ(qvdb::init(dir.string(), out, err), 0) << err.str();
        {
            auto t = xb::Table::open((dir / "_qvdir.dbf").string());
            for (const File& f : kFiles)
                addFile(*t, f);
            t->close();
        }
        auto e = xb::Table::open((dir / "_qvdisk.dbf").string());
        for (int n = 1; n <= 3; ++n) {
            e->append();
            e->replaceNumber(e->fieldIndex("eindeutig"), n);
            e->replaceText(e->fieldIndex("bezeich"),
                           xb::utf8ToCp1252("Datenträger " + std::to_string(n)));
            e->replaceNumber(e->fieldIndex("boxnummer"), 10 + n);
            e->replaceNumber(e->fieldIndex("disknummer"), n);
            e->commitRecord();
        }
        e->close();
        qv::setNameIndexFolder((tmp / "cache" / "names").string());
    }
    void TearDown() override { qv::setNameIndexFolder({}); }

    // The record numbers a search finds, by the index and by the scan; the
    // two must agree.
    std::vector<std::uint32_t> find(const std::string& pattern, const qv::NameFilter& filter = {}) {
        qv::FileTableImage image(dir.string());
        const qv::NamePattern p(pattern);
        std::vector<std::uint32_t> scanned, indexed;
        qv::scanFileTable(image, p, filter, [&](const std::vector<std::uint32_t>& r) {
            scanned.insert(scanned.end(), r.begin(), r.end());
            return true;
        });
        auto index = qv::NameIndex::build(image);
        EXPECT_NE(index, nullptr);
        if (index)
            index->search(p, filter, [&](const std::vector<std::uint32_t>& r) {
                indexed.insert(indexed.end(), r.begin(), r.end());
                return true;
            });
        EXPECT_EQ(scanned, indexed) << pattern;
        return scanned;
    }

    std::string tool(std::vector<std::string> args, int expectedExit = 0) {
        static const bool added = [] {
            qvdb::addCommand(qv::nameSearchToolCommand());
            return true;
        }();
        (void)added;
        args.insert(args.begin(), {"search", dir.string()});
        std::ostringstream out, err;
        std::istringstream in;
        EXPECT_EQ(qvdb::run(args, in, out, err), expectedExit) << err.str();
        return expectedExit == 0 ? out.str() : err.str();
    }

    qvtest::TempDir tmp;
    fs::path dir = tmp / "cat";
};

using R = std::vector<std::uint32_t>;

}  // namespace

TEST(NamePattern, CaseFoldingWildcardsAndRefusals) {
    EXPECT_EQ(qv::upperUtf8("straße äöü éÿ šœž x÷"), "STRAßE ÄÖÜ Éÿ ŠŒŽ X÷");
    const qv::NamePattern street("straße");
    EXPECT_TRUE(street.matches(qv::upperUtf8("/a/ Straße.txt")));
    EXPECT_FALSE(street.matches(qv::upperUtf8("/a/ Strasse.txt")));

    const qv::NamePattern pdf("*.pdf");
    EXPECT_TRUE(pdf.matches("/DOCS/ A.PDF"));
    EXPECT_TRUE(qv::NamePattern("a.*").matches("D:\\A.TXT\\ A.PDF"));
    EXPECT_FALSE(pdf.matches("/X.PDF/ A.PDF.BAK"));  // the whole name
    EXPECT_EQ(pdf.literal(), ".PDF");
    const qv::NamePattern four("img_????.jpg");
    EXPECT_TRUE(four.matches("/F/ IMG_0001.JPG"));
    EXPECT_FALSE(four.matches("/F/ IMG_00012.JPG"));
    EXPECT_TRUE(qv::NamePattern("?λλάδα*").matches(qv::upperUtf8("/ Ελλάδα.txt")));
    EXPECT_TRUE(qv::NamePattern("a*b*c").matches("/ AXXBYYBC"));

    for (const char* bad : {"", "*", "?*?", "**"})
        EXPECT_THROW(qv::NamePattern{bad}, qv::Error) << bad;
}

// The vector scan against the plain one at every start and length, the
// texts' ends included; the fingerprint never refuses a block holding the
// literal and refuses one without its three-byte runs.
TEST(TextScan, FinderAgreesWithPlainSearchAndFingerprintsRefuseOnlyMisses) {
    std::mt19937 rng(7);
    const std::string alphabet =
        "AB/ .\xc3\x9c"
        "9";
    std::string text(300, ' ');
    for (char& c : text)
        c = alphabet[rng() % alphabet.size()];
    const qv::ByteCounts counts = qv::sampleByteCounts(text.data(), text.size());
    for (int round = 0; round < 400; ++round) {
        const std::size_t len = 1 + rng() % 9;
        const std::size_t from = rng() % (text.size() - len);
        const std::string literal =
            round % 3 ? text.substr(from, len) : text.substr(from, len - 1) + "Z";
        const qv::LiteralFinder finder(literal, counts);
        for (std::size_t start : {std::size_t{0}, from / 2, from, text.size() - len}) {
            const std::string_view rest(text.data() + start, text.size() - start);
            const std::size_t want = rest.find(literal);
            EXPECT_EQ(finder.find(rest.data(), rest.size()),
                      want == std::string_view::npos ? qv::LiteralFinder::npos : want)
                << literal << " from " << start;
        }
    }
    std::vector<std::uint8_t> print(qv::kFingerprintBytes, 0);
    qv::addToFingerprint(print.data(), text.data(), text.size());
    EXPECT_TRUE(qv::fingerprintHas(print.data(), qv::fingerprintBits(text.substr(100, 12))));
    EXPECT_FALSE(qv::fingerprintHas(print.data(), qv::fingerprintBits("QQQ")));
    EXPECT_TRUE(qv::fingerprintHas(print.data(), qv::fingerprintBits("QQ")));  // too short
}

TEST_F(NameSearch, SubstringsWildcardsAndFoldingOverIndexAndScan) {
    EXPECT_EQ(find("2023"), (R{1}));       // directory and name
    EXPECT_EQ(find("endgültig"), (R{1}));  // only in the memo
    EXPECT_EQ(find("ENDGÜLTIG.PDF"), (R{1}));
    EXPECT_EQ(find("straße"), (R{3}));
    EXPECT_EQ(find("urlaub"), (R{4, 5}));  // the released record stays out
    EXPECT_EQ(find("ärger ÜBER öl"), (R{6}));
    EXPECT_EQ(find("ΕΛΛΆΔΑ"), R{});  // Greek is not folded
    EXPECT_EQ(find("Ελλάδα"), (R{7}));
    EXPECT_EQ(find("*.pdf"), (R{1, 2}));
    EXPECT_EQ(find("img_????.jpg"), (R{4}));
    EXPECT_EQ(find("liesmich"), (R{8}));
    EXPECT_EQ(find("nirgends"), R{});
}

TEST_F(NameSearch, Filters) {
    qv::NameFilter f;
    f.extensions = qv::NameFilter::parseExtensions("pdf, .JPG");
    EXPECT_EQ(f.extensions, (std::vector<std::string>{"PDF", "JPG"}));
    EXPECT_EQ(find("/", f), (R{1, 2, 3, 4, 5}));
    qv::NameFilter none;
    none.extensions = {""};
    EXPECT_EQ(find("/", none), (R{8}));

    qv::NameFilter size;
    size.minSize = 800;
    size.maxSize = 4000000;  // both included
    EXPECT_EQ(find("/", size), (R{1, 2, 4, 6}));

    qv::NameFilter date;
    date.fromDate = xb::dateToJdn(2019, 7, 5);
    date.toDate = xb::dateToJdn(2023, 1, 5);
    EXPECT_EQ(find("/", date), (R{2, 4, 5}));

    qv::NameFilter owners;
    owners.entries = std::unordered_set<std::uint32_t>{1, 3};
    EXPECT_EQ(find("e", owners), (R{1, 2, 6, 7, 8}));
}

TEST_F(NameSearch, AStaleOrDamagedIndexIsNeverUsed) {
    const std::string file = qv::nameIndexFile(dir.string());
    {
        qv::NameIndexKeeper keeper(dir.string());
        EXPECT_EQ(keeper.fresh(), nullptr);  // first call: the job starts
        auto index = keeper.waitForBuild();
        ASSERT_NE(index, nullptr);
        EXPECT_EQ(index->rows(), 8u);
        EXPECT_TRUE(keeper.saved());
        EXPECT_EQ(keeper.fresh(), index);

        // The table changes: the index is not answered until rebuilt.
        {
            auto t = xb::Table::open((dir / "_qvdir.dbf").string());
            addFile(*t, {2, "/Fotos/ Urlaub neu.jpg", 1, 20200101});
            t->close();
        }
        EXPECT_EQ(keeper.fresh(), nullptr);
        auto rebuilt = keeper.waitForBuild();
        ASSERT_NE(rebuilt, nullptr);
        EXPECT_EQ(rebuilt->rows(), 9u);
    }
    // A new run takes the saved index, which matches the table.
    {
        qv::NameIndexKeeper keeper(dir.string());
        keeper.fresh();
        auto loaded = keeper.waitForBuild();
        ASSERT_NE(loaded, nullptr);
        EXPECT_EQ(loaded->rows(), 9u);
    }
    // One byte changed in the saved file's texts: the search that reads
    // them notices, answers as the scan does, and drops the file; the next
    // search builds the index anew. One byte changed before the rows: not
    // loaded at all.
    auto flip = [&](std::streamoff at, std::ios::seekdir from) {
        std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
        f.seekg(at, from);
        char c;
        f.read(&c, 1);
        f.seekp(at, from);
        c = static_cast<char>(c ^ 0x20);
        f.write(&c, 1);
    };
    flip(-20, std::ios::end);
    {
        auto damaged = qv::NameIndex::load(file, qv::normalCatalogueFolder(dir.string()));
        ASSERT_NE(damaged, nullptr);
        qv::FileTableImage image(dir.string());
        std::vector<std::uint32_t> found;
        qv::searchNames(damaged.get(), image, qv::NamePattern("urlaub"), {},
                        [&](const std::vector<std::uint32_t>& r) {
                            found.insert(found.end(), r.begin(), r.end());
                            return true;
                        });
        EXPECT_EQ(found, (R{4, 5, 10}));
        EXPECT_TRUE(damaged->damaged());
        EXPECT_FALSE(fs::exists(file));
        qv::NameIndexKeeper keeper(dir.string());
        keeper.fresh();
        auto rebuilt = keeper.waitForBuild();
        ASSERT_NE(rebuilt, nullptr);
        EXPECT_FALSE(rebuilt->damaged());
        EXPECT_TRUE(fs::exists(file));
    }
    flip(1000, std::ios::beg);  // in the fingerprints
    EXPECT_EQ(qv::NameIndex::load(file, qv::normalCatalogueFolder(dir.string())), nullptr);
    // Nor an index of another catalogue folder.
    EXPECT_EQ(qv::NameIndex::load(file, "/elsewhere"), nullptr);
}

// Enough files for several blocks: the index as built and as loaded from
// its file finds what the scan finds, block ends and long names included.
TEST_F(NameSearch, ManyBlocksBuiltSavedAndLoadedAgreeWithTheScan) {
    {
        auto t = xb::Table::open((dir / "_qvdir.dbf").string());
        t->beginBatch();
        std::vector<std::string> paths;
        for (int i = 0; i < 20000; ++i) {
            paths.push_back("/Ordner" + std::to_string(i % 37) + "/ Datei" + std::to_string(i) +
                            (i % 5 ? ".txt" : " länger als fünfzehn.pdf"));
            addFile(*t, {1 + i % 3, paths.back().c_str(), i, 20200101});
        }
        t->endBatch();
        t->close();
    }
    const std::string file = (tmp / "many.names").string();
    qv::FileTableImage image(dir.string());
    auto built = qv::NameIndex::build(image);
    ASSERT_NE(built, nullptr);
    ASSERT_GT(built->slices(), 2u);
    ASSERT_TRUE(built->save(file));
    auto loaded = qv::NameIndex::load(file, qv::normalCatalogueFolder(dir.string()));
    ASSERT_NE(loaded, nullptr);
    qv::NameFilter big;
    big.minSize = 19990;
    for (const char* pattern : {"datei8191", "ordner36/ datei", "*9.pdf", "ÄNGER ALS", "zzz", "7"})
        for (const qv::NameFilter& filter : {qv::NameFilter{}, big}) {
            const qv::NamePattern p(pattern);
            std::vector<std::uint32_t> results[3];
            auto into = [&](int k) {
                return [&, k](const std::vector<std::uint32_t>& r) {
                    results[k].insert(results[k].end(), r.begin(), r.end());
                    return true;
                };
            };
            qv::scanFileTable(image, p, filter, into(0));
            built->search(p, filter, into(1));
            loaded->search(p, filter, into(2));
            EXPECT_EQ(results[1], results[0]) << pattern;
            EXPECT_EQ(results[2], results[0]) << pattern;
            EXPECT_EQ(loaded->count(p, filter), results[0].size()) << pattern;
        }
    EXPECT_FALSE(loaded->damaged());
}

TEST_F(NameSearch, StoreToolLinesCountsAndRefusals) {
    EXPECT_EQ(tool({"urlaub"}),
              "2\tDatenträger 2\t4000000\t20190705\t/Fotos/Urlaub/ IMG_0001.JPG\n"
              "2\tDatenträger 2\t4100000\t20190706\t/Fotos/Urlaub/ IMG_00012.JPG\n"
              "matches\t2\n");
    EXPECT_EQ(tool({"endgültig"}),
              "1\tDatenträger 1\t120000\t20240310\t/Steuer/2023/ Steuererklärung 2023 "
              "endgültig.pdf\nmatches\t1\n");
    EXPECT_EQ(tool({"/", "--count", "--ext", "jpg,pdf", "--min-size", "1000"}), "matches\t4\n");
    EXPECT_EQ(tool({"/", "--count", "--after", "20190705", "--before", "20230105"}),
              "matches\t3\n");
    EXPECT_EQ(tool({"/", "--limit", "1"}).substr(0, 2), "1\t");
    EXPECT_EQ(tool({"nirgends"}), "matches\t0\n");
    // Without a writable cache folder the table is scanned: same answer.
    qv::setNameIndexFolder("/proc/nicht-schreibbar");
    EXPECT_EQ(tool({"straße", "--count"}), "matches\t1\n");

    EXPECT_NE(tool({"*?"}, 1).find("Suchmuster"), std::string::npos);
    EXPECT_NE(tool({"x", "--after", "20231332"}, 1).find("Datum"), std::string::npos);
}

// The window as a user drives it: a pattern typed, the rows with the
// owners' titles and box/number, Enter on a row, a refused pattern.
TEST_F(NameSearch, WindowStreamsRowsAndShowsTheEntry) {
    qv::ScriptedDialogs boxes;
    qv::ScopedDialogs scoped(&boxes);
    TDM dm(QString::fromStdString(dir.string()));
    qv::CatalogueSession session(dm);
    std::vector<int> shown;
    TDateinamensuche window(session, [&](int n) { shown.push_back(n); });
    window.show();
    auto search = [&](const QString& pattern) {
        bool ended = false;
        auto c = QObject::connect(&window, &TDateinamensuche::finished,
                                  [&](qulonglong) { ended = true; });
        window.EditMuster->setText(pattern);
        QTest::keyClick(window.EditMuster, Qt::Key_Return);
        for (int i = 0; i < 500 && !ended && window.searching(); ++i)
            QTest::qWait(10);
        QObject::disconnect(c);
        return ended;
    };
    ASSERT_TRUE(search(QStringLiteral("urlaub")));
    qv::NameResultModel& m = *window.model();
    ASSERT_EQ(m.rowCount(), 2);
    auto cell = [&](int row, int column) { return m.index(row, column).data().toString(); };
    EXPECT_EQ(cell(0, qv::NameResultModel::Name), QStringLiteral("IMG_0001.JPG"));
    EXPECT_EQ(cell(1, qv::NameResultModel::Extension), QStringLiteral("JPG"));
    EXPECT_EQ(cell(0, qv::NameResultModel::Date), QStringLiteral("05.07.2019"));
    EXPECT_EQ(cell(0, qv::NameResultModel::Title), QStringLiteral("Datenträger 2"));
    EXPECT_EQ(cell(0, qv::NameResultModel::BoxNumber), QStringLiteral("12 / 2"));
    EXPECT_EQ(window.StatusLine->text(), QStringLiteral("2 Dateien gefunden."));

    ASSERT_TRUE(search(QStringLiteral("endgültig")));
    ASSERT_EQ(m.rowCount(), 1);
    EXPECT_EQ(cell(0, qv::NameResultModel::Name),
              QStringLiteral("Steuererklärung 2023 endgültig.pdf"));
    window.Grid->setFocus();
    window.Grid->setCurrentIndex(m.index(0, 0));
    QTest::keyClick(window.Grid, Qt::Key_Return);
    EXPECT_EQ(shown, std::vector<int>{1});

    window.EditMuster->setText(QStringLiteral("**"));
    window.BtnSuchenClick();
    ASSERT_FALSE(boxes.shown().empty());
    EXPECT_TRUE(boxes.last().text.startsWith(QStringLiteral("Das Suchmuster")));
    EXPECT_EQ(m.rowCount(), 1);  // the last result stays
}
