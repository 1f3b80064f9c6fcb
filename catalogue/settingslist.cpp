#include "catalogue/settingslist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>

#include "catalogue/dm.h"
#include "store/conversion.h"
#include "store/xbase/cp1252.h"
#include "store/xbase/error.h"

namespace qv {

namespace {

// A German reason for a failed file operation, from the error number the
// system left behind.
QString ioReason(int err, const QString& fallback) {
    switch (err) {
        case ENOSPC:
            return QStringLiteral("kein Platz mehr auf dem Datenträger");
        case EFBIG:
            return QStringLiteral("die Datei wird zu groß");
        case EACCES:
        case EPERM:
            return QStringLiteral("keine Berechtigung");
        case EROFS:
            return QStringLiteral("der Datenträger ist schreibgeschützt");
        case ENOENT:
        case ENOTDIR:
            return QStringLiteral("das Verzeichnis existiert nicht");
        case EIO:
            return QStringLiteral("Ein-/Ausgabefehler");
        default:
            return fallback;
    }
}

[[noreturn]] void throwWriteError(const QString& path, const QString& reason) {
    throw Error(ErrorCode::IoError,
                QStringLiteral("Die Einstellungsdatei %1 kann nicht geschrieben werden: %2")
                    .arg(QDir::toNativeSeparators(path), reason)
                    .toStdString(),
                path.toStdString());
}

}  // namespace

const QStringList& SettingsList::defaultLines() {
    static const QStringList lines = {
        QStringLiteral("3.000 QV-TESSARIN 97 Einstellungen (Status-Namen, Etikett-Definition)"),
        QStringLiteral("32 Bit Windows-Programm (Win95/NT)"),
        QStringLiteral("16 Bit Windows-Programm"),
        QStringLiteral("DOS-Programm"),
        QStringLiteral("Vollversion-Originaldatenträger"),
        QStringLiteral("Vollversion-Sicherheitskopie"),
        QStringLiteral("\"externe Sicherheitskopie\""),
        QStringLiteral("Shareware"),
        QStringLiteral("Freeware"),
        QString(),
        QString(),
        QString(),
        QString(),
        QStringLiteral("[Etikett-Definition]"),
        QStringLiteral("3"),
        QStringLiteral("0"),
        QStringLiteral("0"),
        QStringLiteral("42"),
        QStringLiteral("0"),
    };
    return lines;
}

QStringList SettingsList::parse(const QByteArray& bytes) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            lines << QString::fromStdString(
                xb::cp1252ToUtf8(std::string_view(bytes.constData() + start, i - start)));
            if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < n) {
        lines << QString::fromStdString(
            xb::cp1252ToUtf8(std::string_view(bytes.constData() + start, n - start)));
    }
    return lines;
}

QByteArray SettingsList::serialize(const QStringList& lines) {
    QByteArray out;
    for (const QString& line : lines) {
        const std::string bytes = xb::utf8ToCp1252(line.toStdString());
        out.append(bytes.data(), static_cast<qsizetype>(bytes.size()));
        out.append("\r\n", 2);
    }
    return out;
}

void SettingsList::load(const QString& programDir) {
    m_path = withTrailingSeparator(programDir) + fileName();
    m_lines.clear();
    m_loaded = false;
    m_unsavedReason.clear();
    QFile file(m_path);
    if (file.exists()) {
        if (!file.open(QIODevice::ReadOnly)) {
            const QString reason =
                ioReason(errno, QStringLiteral("die Datei lässt sich nicht öffnen"));
            throw Error(ErrorCode::IoError,
                        QStringLiteral("Die Einstellungsdatei %1 kann nicht gelesen werden: %2")
                            .arg(QDir::toNativeSeparators(m_path), reason)
                            .toStdString(),
                        m_path.toStdString());
        }
        m_lines = parse(file.readAll());
    } else {
        m_lines = defaultLines();
        try {
            writeFile();
        } catch (const Error& e) {
            m_unsavedReason = QString::fromStdString(e.text());
        }
    }
    m_loaded = true;
    setNotices();
}

void SettingsList::checkIndex(int i) const {
    if (i < 0 || i >= count()) {
        throw Error(ErrorCode::Range, "Listenindex außerhalb des zulässigen Bereichs",
                    m_path.toStdString(), i);
    }
}

QString SettingsList::line(int i) const {
    checkIndex(i);
    return m_lines[i];
}

int SettingsList::lineAsInt(int i) const {
    return strToInt(line(i));
}

void SettingsList::replace(int i, const QString& text) {
    checkIndex(i);
    m_lines[i] = text;
}

QString SettingsList::lineOrDefault(int i) const {
    if (i >= 0 && i < count()) return m_lines[i];
    return defaultLines().value(i);
}

void SettingsList::completeWithDefaults() {
    const QStringList& defaults = defaultLines();
    while (count() < defaults.size())
        m_lines << defaults[count()];
}

void SettingsList::save() {
    writeFile();
    setNotices();
}

void SettingsList::writeFile() const {
    const QFileInfo info(m_path);
    if (!info.dir().exists())
        throwWriteError(m_path, QStringLiteral("das Verzeichnis existiert nicht"));
    // The rename below would replace a write-protected file as well.
    if (info.exists() && !info.isWritable())
        throwWriteError(m_path, QStringLiteral("die Datei ist schreibgeschützt"));

    QSaveFile file(m_path);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        throwWriteError(m_path, ioReason(errno, QStringLiteral("die Datei lässt sich im "
                                                               "Verzeichnis nicht anlegen")));
    }
    const QByteArray bytes = serialize(m_lines);
    errno = 0;
    // The explicit flush matters: commit() does not notice a write error
    // that only shows when its own flush writes the buffer, and would rename
    // a truncated file over the old one.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const int err = errno;
        file.cancelWriting();
        throwWriteError(m_path, ioReason(err, QStringLiteral("Schreibfehler")));
    }
    errno = 0;
    if (!file.commit()) {
        throwWriteError(m_path, ioReason(errno, QStringLiteral("Schreibfehler")));
    }
}

void SettingsList::release() {
    m_lines.clear();
    m_loaded = false;
}

void SettingsList::setNotices() {
    m_entryDialogNotice = true;
    m_mainWindowNotice = true;
}

}  // namespace qv
