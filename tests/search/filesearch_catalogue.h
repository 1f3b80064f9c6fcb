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
    auto file = [](int owner, const char* path, const char* name, const char* ext, qint64 size,
                   const char* time) {
        FileRow r(owner, QString::fromUtf8(path), QString::fromUtf8(name), QString::fromUtf8(ext),
                  size);
        r.date = QDate(1997, 5, 17);
        r.time = QString::fromUtf8(time);
        return r;
    };
    addFiles(dir, {
                      file(1, "/TOOLS/ SETUP.EXE", "SETUP", "EXE", 120000, "10:15"),
                      file(1, "/ README.TXT", "README", "TXT", 2048, "10:16"),
                      file(2, "/MASSE/ Maßband.txt", "Maßband", "txt", 512, "11:00"),
                      file(2, "/ AUTOEXEC.BAT", "AUTOEXEC", "BAT", 300, "08:00"),
                      file(10, "/ ZETA.TXT", "ZETA", "TXT", 10, "09:30"),
                      file(99999999, "/ READ0.TXT", "READ0", "TXT", 1, "09:00"),
                      file(777, "/ ORPHAN.DAT", "ORPHAN", "DAT", 5, "07:00"),
                  });
}

}  // namespace qvtest
