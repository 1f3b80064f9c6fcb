#include "store/dm.h"

#include <QCoreApplication>
#include <QDir>

#include <gtest/gtest.h>

#include "support/testutil.h"

namespace {

TEST(DataModule, KeepsTheProgramDirectoryWithItsSeparator) {
    qvtest::TempDir dir;
    const QString path = QString::fromStdString(dir.path().string());
    TDM dm(path);
    EXPECT_EQ(dm.objectName(), QStringLiteral("DM"));
    EXPECT_EQ(dm.programDir(), path + QLatin1Char('/'));
    EXPECT_EQ(dm.filePath(QStringLiteral("_qvdisk.dbf")), path + QStringLiteral("/_qvdisk.dbf"));

    TDM again(path + QStringLiteral("//"));
    EXPECT_EQ(again.programDir(), path + QLatin1Char('/'));
}

TEST(DataModule, DefaultsToTheDirectoryOfTheProgramFile) {
    TDM dm;
    EXPECT_EQ(dm.programDir(), QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    EXPECT_EQ(qv::defaultProgramDirectory(), dm.programDir());
}

TEST(DataModule, RelativeDirectoriesBecomeAbsolute) {
    const QString expected = QDir::current().absoluteFilePath(QStringLiteral("sub")) + '/';
    EXPECT_EQ(qv::withTrailingSeparator(QStringLiteral("sub")), expected);
    EXPECT_EQ(qv::withTrailingSeparator(QStringLiteral("/")), QStringLiteral("/"));
}

}  // namespace
