#include "catalogue/cataloguelocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "catalogue/dm.h"
#include "store/xbase/count_store.h"
#include "store/xbase/error.h"

namespace qv {

bool isInstalledProgram(const QString& programFileDir) {
    const QDir bin(QDir::cleanPath(QDir(programFileDir).absolutePath()));
    if (bin.dirName() != QLatin1String("bin")) return false;
    const QString desktopFile =
        bin.absoluteFilePath(QStringLiteral("../share/applications/") + kDesktopFileName);
    return QFileInfo(QDir::cleanPath(desktopFile)).isFile();
}

QString catalogueDirectory(const QString& programFileDir, const QString& userDataDir) {
    if (!isInstalledProgram(programFileDir)) return withTrailingSeparator(programFileDir);
    const QString dir = userDataDir.isEmpty() ? QString() : withTrailingSeparator(userDataDir);
    if (dir.isEmpty() || !QDir().mkpath(dir) || !QFileInfo(dir).isDir())
        throw Error(ErrorCode::IoError,
                    QStringLiteral("Der Datenordner %1 kann nicht angelegt werden")
                        .arg(QDir::toNativeSeparators(dir))
                        .toStdString(),
                    dir.toStdString());
    return dir;
}

QString programFileDirectory() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath();
    // Without an application object (the store tool): the kernel's link to the
    // running program file.
    const QFileInfo self(QStringLiteral("/proc/self/exe"));
    return QFileInfo(self.canonicalFilePath()).absolutePath();
}

QString userDataDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QLatin1Char('/') + kDataFolderName;
}

void keepCountsInUserCache() {
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) return;
    xb::setCountCache(
        (cache + QLatin1Char('/') + kDataFolderName + QStringLiteral("/counts")).toStdString());
}

}  // namespace qv
