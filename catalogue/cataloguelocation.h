// Where the catalogue files and the settings file live.
//
// A program started from a folder of its own (the build folder, an unpacked
// folder) keeps them beside its program file. An installed program keeps them
// in the user's data folder instead, because its program file lies in a
// folder the user cannot write. Writability does not decide this (root can
// write everywhere): a program counts as installed when its program file lies
// in the `bin/` folder of an installation layout, that is when the
// `share/applications/` folder beside that `bin/` holds the program's desktop
// file.
#pragma once

#include <QString>

namespace qv {

// File name of the program's desktop entry (also the stem of its icon and
// metainfo files).
inline const QString kDesktopFileName = QStringLiteral("org.qvtessarin.tessarin.desktop");
// Name of the program's folder below the user's general data folder.
inline const QString kDataFolderName = QStringLiteral("qv-tessarin");

// Whether a program file in `programFileDir` belongs to an installation.
bool isInstalledProgram(const QString& programFileDir);

// The catalogue directory, with a trailing separator, for a program file in
// `programFileDir`: that folder itself, or `userDataDir` when the program is
// installed. An installed program's folder is created (with its parents)
// when it is missing; a qv::Error says so when that fails.
QString catalogueDirectory(const QString& programFileDir, const QString& userDataDir);

// The folder of this process's program file, without a trailing separator.
// Works with or without an application object.
QString programFileDirectory();

// The user's data folder for the catalogue (`<general data folder>/qv-tessarin`,
// usually ~/.local/share/qv-tessarin), whichever of the programs asks.
QString userDataDirectory();

// Lets the engine keep the order counts of large index files between runs,
// in the user's cache folder (`<general cache folder>/qv-tessarin/counts`,
// usually ~/.cache/qv-tessarin/counts). Both programs call it at start.
void keepCountsInUserCache();

}  // namespace qv
