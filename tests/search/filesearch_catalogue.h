// A small catalogue for the search in all files: three entries, their files,
// a released file record and a file whose entry does not exist.
#pragma once

#include <QDate>
#include <QString>

#include <filesystem>

#include "support/catalogue/cataloguebuilder.h"

namespace qvtest {

inline void createFileSearchCatalogue(const std::filesystem::path& dir) {
    createCatalogue(dir);
    EntryRow programs;
    programs.number = 1;
    programs.title = QStringLiteral("Programme CD");
    programs.box = 12;
    programs.disk = 3;
    programs.category = QStringLiteral("Software");
    programs.carrierType = QStringLiteral("CD-ROM");
    programs.carriers = 2;
    EntryRow tools;
    tools.number = 2;
    tools.title = QStringLiteral("Werkzeug & Maße");
    tools.box = 1;
    tools.disk = 7;
    tools.category = QStringLiteral("Handwerk");
    tools.carrierType = QStringLiteral("Diskette");
    EntryRow music;
    music.number = 10;
    music.title = QStringLiteral("Musik");
    music.box = 4;
    music.disk = 1;
    addEntries(dir, {programs, tools, music});
    const QDate d(1997, 5, 17);
    addFiles(dir, {
                      {1, QStringLiteral("/TOOLS/ SETUP.EXE"), QStringLiteral("SETUP"),
                       QStringLiteral("EXE"), 120000, d, QStringLiteral("10:15")},
                      {1, QStringLiteral("/ README.TXT"), QStringLiteral("README"),
                       QStringLiteral("TXT"), 2048, d, QStringLiteral("10:16")},
                      {2, QStringLiteral("/MASSE/ Maßband.txt"), QStringLiteral("Maßband"),
                       QStringLiteral("txt"), 512, d, QStringLiteral("11:00")},
                      {2, QStringLiteral("/ AUTOEXEC.BAT"), QStringLiteral("AUTOEXEC"),
                       QStringLiteral("BAT"), 300, d, QStringLiteral("08:00")},
                      {10, QStringLiteral("/ ZETA.TXT"), QStringLiteral("ZETA"),
                       QStringLiteral("TXT"), 10, d, QStringLiteral("09:30")},
                      {99999999, QStringLiteral("/ READ0.TXT"), QStringLiteral("READ0"),
                       QStringLiteral("TXT"), 1, d, QStringLiteral("09:00")},
                      {777, QStringLiteral("/ ORPHAN.DAT"), QStringLiteral("ORPHAN"),
                       QStringLiteral("DAT"), 5, d, QStringLiteral("07:00")},
                  });
}

}  // namespace qvtest
