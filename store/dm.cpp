#include "store/dm.h"

#include <QCoreApplication>
#include <QDir>

namespace qv {

QString withTrailingSeparator(const QString& dir) {
    QString abs = QDir::cleanPath(QDir(dir).absolutePath());
    if (!abs.endsWith(QLatin1Char('/'))) abs += QLatin1Char('/');
    return abs;
}

QString defaultProgramDirectory() {
    return withTrailingSeparator(QCoreApplication::applicationDirPath());
}

}  // namespace qv

TDM::TDM(const QString& programDir, QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("DM"));
    DMCreate(programDir);
}

void TDM::DMCreate(const QString& programDir) {
    m_programDir = programDir.isEmpty() ? qv::defaultProgramDirectory()
                                        : qv::withTrailingSeparator(programDir);
}
