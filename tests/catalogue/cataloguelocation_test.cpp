#include "catalogue/cataloguelocation.h"

#include <QCoreApplication>
#include <QDir>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "catalogue/dm.h"
#include "store/xbase/error.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

namespace {

QString q(const fs::path& p) {
    return QString::fromStdString(p.string());
}

void touch(const fs::path& p) {
    fs::create_directories(p.parent_path());
    std::ofstream(p) << "[Desktop Entry]\n";
}

// A prefix with bin/ and, when asked, the program's desktop file in
// share/applications/.
struct Layout {
    qvtest::TempDir root;
    fs::path bin() const { return root / "prefix" / "bin"; }
    fs::path data() const { return root / "home" / ".local" / "share" / "qv-tessarin"; }

    explicit Layout(bool desktopFile) {
        fs::create_directories(bin());
        if (desktopFile)
            touch(root / "prefix" / "share" / "applications" / qv::kDesktopFileName.toStdString());
    }
};

TEST(CatalogueLocation, AProgramFolderOfItsOwnKeepsTheCatalogueBesideTheProgram) {
    // The build folder: bin/ without an installation around it.
    Layout build(false);
    EXPECT_FALSE(qv::isInstalledProgram(q(build.bin())));
    EXPECT_EQ(qv::catalogueDirectory(q(build.bin()), q(build.data())), q(build.bin()) + '/');
    EXPECT_FALSE(fs::exists(build.data()));

    // An unpacked folder of any name, even one that happens to sit beside a
    // share/applications/ with the program's desktop file.
    qvtest::TempDir unpacked;
    touch(unpacked / "share" / "applications" / qv::kDesktopFileName.toStdString());
    fs::create_directories(unpacked / "programm");
    EXPECT_FALSE(qv::isInstalledProgram(q(unpacked / "programm")));
    EXPECT_FALSE(qv::isInstalledProgram(q(unpacked.path())));

    // Another program's desktop file does not make this one installed.
    Layout other(false);
    touch(other.root / "prefix" / "share" / "applications" / "other.desktop");
    EXPECT_FALSE(qv::isInstalledProgram(q(other.bin())));
}

TEST(CatalogueLocation, AnInstalledProgramUsesTheUserDataFolderCreatedOnFirstStart) {
    // The prefix is writable here (as it is for root): the layout decides.
    Layout installed(true);
    EXPECT_TRUE(qv::isInstalledProgram(q(installed.bin())));
    EXPECT_TRUE(qv::isInstalledProgram(q(installed.bin()) + "/"));
    EXPECT_TRUE(qv::isInstalledProgram(q(installed.bin() / ".." / "bin")));

    const QString dir = qv::catalogueDirectory(q(installed.bin()), q(installed.data()));
    EXPECT_EQ(dir, q(installed.data()) + '/');
    ASSERT_TRUE(fs::is_directory(installed.data()));

    // A later start finds the folder with its files and leaves them alone.
    touch(installed.data() / "_qvdisk.ini");
    EXPECT_EQ(qv::catalogueDirectory(q(installed.bin()), q(installed.data())), dir);
    EXPECT_TRUE(fs::exists(installed.data() / "_qvdisk.ini"));
    EXPECT_TRUE(fs::is_empty(installed.bin()));
}

TEST(CatalogueLocation, ADataFolderThatCannotBeCreatedIsAnError) {
    Layout installed(true);
    // A file stands where a parent folder would have to be.
    touch(installed.root / "home");
    try {
        qv::catalogueDirectory(q(installed.bin()), q(installed.data()));
        FAIL() << "no error";
    } catch (const qv::Error& e) {
        EXPECT_EQ(e.code(), qv::ErrorCode::IoError);
        EXPECT_EQ(e.text(),
                  "Der Datenordner " + installed.data().string() + "/ kann nicht angelegt werden");
    }
    EXPECT_THROW(qv::catalogueDirectory(q(installed.bin()), QString()), qv::Error);
}

TEST(CatalogueLocation, ThisProcessRunsFromItsOwnFolder) {
    // The tests run from the build tree, which is no installation.
    EXPECT_EQ(qv::programFileDirectory(), QCoreApplication::applicationDirPath());
    EXPECT_FALSE(qv::isInstalledProgram(qv::programFileDirectory()));
    EXPECT_EQ(qv::defaultProgramDirectory(), qv::programFileDirectory() + '/');
    EXPECT_TRUE(qv::userDataDirectory().endsWith(QStringLiteral("/qv-tessarin")));
}

}  // namespace
