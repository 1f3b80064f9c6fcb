// The data module: the table objects of the catalogue live here for the whole
// run, all pointed at the program directory, with the engine-wide settings.
#pragma once

#include <array>

#include <QObject>
#include <QString>

#include "catalogue/catalogueschema.h"

class TTable;
class TApolloEnv;

namespace qv {

// The program directory, with a trailing separator: the folder that holds all
// catalogue files and the settings file. It is the directory of the program
// file, or the user's data folder for an installed program (created on first
// use; see cataloguelocation.h).
QString defaultProgramDirectory();

// Normalises a directory to an absolute path with exactly one trailing '/'.
QString withTrailingSeparator(const QString& dir);

}  // namespace qv

// Object `DM`. Created once at start-up, after the main window and the
// progress window, before the intro window.
//
// Its table objects, one per catalogue table (table(); object names `Table1`
// ... `Table6` for the entry, file, extension, category, carrier-type and
// address table), and `tbl_recherche2` (a second, read-only one
// on the file table for the search in all files) are of table type
// "ttSXNSX", exclusive, closed, and carry the field display definitions of
// their tables. Creating the module applies the program's engine settings
// (`ApolloEnv`: century, German dates, soft seek, deleted records skipped).
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

    // The table object of a catalogue table.
    TTable& table(qv::CatalogueTable t) const;

    TTable* tbl_recherche2 = nullptr;
    TApolloEnv* ApolloEnv = nullptr;

  private:
    // Determines the program directory and points every table object at it.
    void DMCreate(const QString& programDir);

    QString m_programDir;
    std::array<TTable*, qv::kCatalogueTableCount> m_tables{};
};
