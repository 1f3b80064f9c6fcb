// The folder tree rebuilt from stored paths, read from the file table, and
// the window over it in the main window.
#include <QCheckBox>
#include <QLabel>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "folderview/core/foldertree.h"
#include "folderview/ui/ordneransicht.h"
#include "search/core/filesearch.h"
#include "search/ui/recherche.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/settings.h"
#include "support/catalogue/cataloguebuilder.h"
#include "support/mainwindow.h"
#include "support/qtsupport.h"
#include "support/testutil.h"

namespace {

using qv::CatalogueTable;
using qv::FolderFile;
using qv::FolderTree;

FolderFile file(const QString& path, const QString& name, qint64 size, std::uint32_t recno = 0) {
    FolderFile f;
    f.storedPath = path;
    f.storedName = name;
    f.size = size;
    f.recno = recno;
    return f;
}

TEST(FolderTree, StoredPathsSplitAtTheBlankAfterTheLastSeparator) {
    struct Case {
        QString path, name, root;
        QStringList folders;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"/TOOLS/ SETUP.EXE", "SETUP.EXE", "/", {"TOOLS"}, "SETUP.EXE"},
        {"A:\\TOOLS\\SUB\\ SETUP.EXE", "SETUP.EXE", "A:\\", {"TOOLS", "SUB"}, "SETUP.EXE"},
        {"/ README", "README", "/", {}, "README"},
        // Leading blanks of folder and file names are their own.
        {"/foo/ bar/  x y.txt", " x y.txt", "/", {"foo", " bar"}, " x y.txt"},
        // A '\' in a name read here is part of the name.
        {"/a\\b/ c\\d.txt", "c\\d.txt", "/", {"a\\b"}, "c\\d.txt"},
        // Cut inside the name: the name field knows more of it.
        {"/DIR/ VERYLONGNA", "VERYLONGNAME.TX", "/", {"DIR"}, "VERYLONGNAME.TX"},
        // Cut inside a folder name: the folders that are still whole, the cut one marked.
        {"/LONG/FOLDERNA", "X.TXT", "/", {"LONG", "FOLDERNA…"}, "X.TXT"},
        {"C:\\ AUTOEXEC.BAT", "AUTOEXEC.BAT", "C:\\", {}, "AUTOEXEC.BAT"},
    };
    for (const Case& c : cases) {
        const qv::SplitPath s = qv::splitStoredPath(c.path, c.name);
        EXPECT_EQ(s.root, c.root) << c.path.toStdString();
        EXPECT_EQ(s.folders, c.folders) << c.path.toStdString();
        EXPECT_EQ(s.name, c.expected) << c.path.toStdString();
    }
}

TEST(FolderTree, FoldersCountAndSumTheirFilesAndSortByNameOrSize) {
    const FolderTree tree({
        file("/zeta/ b.txt", "b.txt", 5, 1),
        file("/ root.txt", "root.txt", 1, 2),
        file("/Alpha/deep/ x.bin", "x.bin", 1000, 3),
        file("/Alpha/ A.txt", "A.txt", 10, 4),
        file("/zeta/ a.txt", "a.txt", 7, 5),
        file("/beta/ c", "c", 2, 6),
    });
    const auto& root = tree.node(FolderTree::kRoot);
    EXPECT_EQ(root.name, "/");
    EXPECT_EQ(root.fileCount, 6);
    EXPECT_EQ(root.totalSize, 1025);
    ASSERT_EQ(root.files.size(), 1u);
    EXPECT_EQ(tree.fileName(root.files[0]), "root.txt");
    auto names = [&](int node) {
        QStringList out;
        for (int c : tree.node(node).children)
            out << tree.node(c).name;
        return out;
    };
    EXPECT_EQ(names(FolderTree::kRoot), QStringList({"Alpha", "beta", "zeta"}));
    const int alpha = tree.node(FolderTree::kRoot).children[0];
    EXPECT_EQ(tree.node(alpha).fileCount, 2);
    EXPECT_EQ(tree.node(alpha).totalSize, 1010);
    EXPECT_EQ(tree.pathOf(tree.node(alpha).children[0]), "/Alpha/deep/");
    const int zeta = tree.node(FolderTree::kRoot).children[2];
    QStringList zetaFiles;
    for (int f : tree.node(zeta).files)
        zetaFiles << tree.fileName(f);
    EXPECT_EQ(zetaFiles, QStringList({"a.txt", "b.txt"}));
    EXPECT_EQ(tree.folderOf(0), zeta);

    FolderTree bySize = tree;
    bySize.setFolderOrder(qv::FolderOrder::Size);
    EXPECT_EQ(names(FolderTree::kRoot), QStringList({"Alpha", "beta", "zeta"}));
    QStringList sized;
    for (int c : bySize.node(FolderTree::kRoot).children)
        sized << bySize.node(c).name;
    EXPECT_EQ(sized, QStringList({"Alpha", "zeta", "beta"}));
}

TEST(FolderTree, EntryFilesComeFromTheFileTableWithoutOtherEntriesOrReleasedOnes) {
    qvtest::TempDir dir;
    qvtest::createCatalogue(dir.path());
    qvtest::addEntries(dir.path(), {{1, "Eins"}, {10, "Zehn"}});
    qvtest::addFiles(dir.path(),
                     {{10, "/ TEN.TXT", "TEN.TXT", "TXT", 3},
                      {1, "/SUB/ B.TXT", "B.TXT", "TXT", 2, QDate(1999, 12, 31), "23:59"},
                      {qv::kReleasedEntryNumber, "/ OLD.TXT", "OLD.TXT", "TXT", 9},
                      {1, "/ A.TXT", "A.TXT", "TXT", 1}});
    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(dir.path().string()));
    qv::CatalogueSession session(dm);
    TTable& files = session.table(CatalogueTable::Files);
    files.Open();
    const std::vector<FolderFile> got = qv::readEntryFiles(session, 1);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].storedPath, "/ A.TXT");  // path order
    EXPECT_EQ(got[0].recno, 4u);
    EXPECT_EQ(got[1].storedPath, "/SUB/ B.TXT");
    EXPECT_EQ(got[1].date, QDate(1999, 12, 31));
    EXPECT_EQ(got[1].time, "23:59");
    EXPECT_EQ(got[1].size, 2);
    EXPECT_TRUE(qv::readEntryFiles(session, 2).empty());
    // An entry whose files are not the first in the index.
    const std::vector<FolderFile> ten = qv::readEntryFiles(session, 10);
    ASSERT_EQ(ten.size(), 1u);
    EXPECT_EQ(ten[0].storedPath, "/ TEN.TXT");
    EXPECT_EQ(ten[0].recno, 1u);
}

TEST(FolderViewWindow, TypingFindsAFileAndEnterShowsItInTheSearchInAllFiles) {
    qvtest::TempDir dir;
    qvtest::createCatalogue(dir.path());
    qvtest::addEntries(dir.path(), {{1, "Eins"}, {2, "Zwei"}});
    std::vector<qvtest::FileRow> rows;
    for (int i = 0; i < 50; ++i)
        rows.push_back({1, QStringLiteral("/DATA/ F%1.DAT").arg(i, 3, 10, QLatin1Char('0')),
                        QStringLiteral("F%1.DAT").arg(i, 3, 10, QLatin1Char('0')), "DAT", i});
    rows.push_back({1, "/DATA/ Setup.exe", "Setup.exe", "exe", 4096});
    rows.push_back({1, "/ readme", "readme", "", 7});
    rows.push_back({2, "/ OTHER.TXT", "OTHER.TXT", "TXT", 1});
    qvtest::addFiles(dir.path(), rows);

    qvtest::MainWindowHarness h(dir.path());
    ASSERT_TRUE(h.started);
    qv::Command* cmd = h.form->commands().added(QStringLiteral("Ordneransicht1"));
    ASSERT_NE(cmd, nullptr);
    const qint64 filesBefore = h.form->scopeFileList();
    const int entryBefore = h.table(CatalogueTable::Entries).RecNo();

    int setupRecord = 0;
    qvtest::whenModal<TOrdneransicht>([&](TOrdneransicht* w) {
        const FolderTree& tree = w->tree();
        EXPECT_EQ(tree.node(FolderTree::kRoot).fileCount, 52);
        ASSERT_EQ(tree.node(FolderTree::kRoot).children.size(), 1u);
        const int data = tree.node(FolderTree::kRoot).children[0];
        w->selectFolder(data);
        EXPECT_EQ(w->GridDateien->model()->rowCount(), 51);
        // Two keys in a row: the first name beginning with "se".
        QTest::keyClicks(w->GridDateien, QStringLiteral("se"));
        const int row = w->GridDateien->currentIndex().row();
        EXPECT_EQ(w->GridDateien->model()->index(row, 0).data().toString(), "Setup.exe");
        // Sorting by size keeps the folder shown.
        w->cbNachGroesse->click();
        EXPECT_EQ(w->currentFolder(), data);
        EXPECT_EQ(w->TreeOrdner->currentItem()->text(0), "DATA");
        w->GridDateien->setCurrentIndex(w->GridDateien->model()->index(row, 0));
        setupRecord = static_cast<int>(tree.file(tree.node(data).files[std::size_t(row)]).recno);
        qvtest::whenModal<Trecherche>([&](Trecherche* r) {
            EXPECT_EQ(r->search().table().RecNo(), setupRecord);
            EXPECT_EQ(r->Label10->text(), "Eins");
            r->reject();
        });
        QTest::keyClick(w->GridDateien, Qt::Key_Return);
    });
    cmd->trigger();
    EXPECT_EQ(setupRecord, 51);
    EXPECT_EQ(h.table(CatalogueTable::Entries).RecNo(), entryBefore);
    EXPECT_EQ(h.form->scopeFileList(), filesBefore);
}

}  // namespace
