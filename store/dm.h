// The data module: the table objects of the catalogue live here for the whole
// run, all pointed at the program directory.
#pragma once

#include <QObject>
#include <QString>

namespace qv {

// The directory of the program file, with a trailing separator. It holds all
// catalogue files and the settings file.
QString defaultProgramDirectory();

// Normalises a directory to an absolute path with exactly one trailing '/'.
QString withTrailingSeparator(const QString& dir);

}  // namespace qv

// Object `DM`. Created once at start-up, after the main window and the
// progress window, before the intro window.
class TDM : public QObject {
    Q_OBJECT

  public:
    // `programDir` empty: the directory of the program file (the normal case;
    // tests pass a directory of their own).
    explicit TDM(const QString& programDir = QString(), QObject* parent = nullptr);

    // The program directory with its trailing separator.
    const QString& programDir() const { return m_programDir; }
    // A catalogue file in the program directory.
    QString filePath(const QString& fileName) const { return m_programDir + fileName; }

  private:
    // Determines the program directory and keeps it for the table objects.
    void DMCreate(const QString& programDir);

    QString m_programDir;
};
