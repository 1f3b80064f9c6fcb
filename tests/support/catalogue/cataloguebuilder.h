// Catalogues for tests: a new catalogue made by the program's own start-up
// check, filled with entries, file records and addresses through the table
// layer (indexes maintained as the program maintains them).
#pragma once

#include <QDate>
#include <QString>

#include <filesystem>
#include <utility>
#include <vector>

namespace qvtest {

struct EntryRow {
    EntryRow() = default;
    EntryRow(int number, QString title, int box = 0, int disk = 0, QString category = {},
             QString carrierType = {})
        : number(number),
          title(std::move(title)),
          box(box),
          disk(disk),
          category(std::move(category)),
          carrierType(std::move(carrierType)) {}

    int number = 0;  // EINDEUTIG
    QString title;
    int box = 0;
    int disk = 0;
    QString category;
    QString carrierType;
    int carriers = 1;
    QString flags;  // character i is PROG<i+1>; missing ones are blank
    int lentTo = 0;
    int borrowedFrom = 0;
    QString memo;
    bool deleted = false;
};

struct FileRow {
    FileRow() = default;
    FileRow(int owner, QString path, QString name, QString ext, qint64 size = 0)
        : owner(owner),
          path(std::move(path)),
          name(std::move(name)),
          ext(std::move(ext)),
          size(size) {}
    FileRow(int owner, QString path, QString name, QString ext, qint64 size, QDate date,
            QString time)
        : owner(owner),
          path(std::move(path)),
          name(std::move(name)),
          ext(std::move(ext)),
          size(size),
          date(date),
          time(std::move(time)) {}

    int owner = 0;  // DIRNUMM
    QString path;   // DIRPFAD ("/TOOLS/ SETUP.EXE")
    QString name;
    QString ext;
    qint64 size = 0;
    QDate date;
    QString time;
};

struct AddressRow {
    AddressRow() = default;
    AddressRow(int number, QString name, QString firstName = {}, QString street = {},
               QString postcode = {}, QString town = {})
        : number(number),
          name(std::move(name)),
          firstName(std::move(firstName)),
          street(std::move(street)),
          postcode(std::move(postcode)),
          town(std::move(town)) {}

    int number = 0;
    QString name;
    QString firstName;
    QString extra;
    QString street;
    QString postcode;
    QString town;
    QString phone;
    QString fax;
    QString email;
    QString remark1;
    QString remark2;
    bool deleted = false;
};

// A new, empty catalogue in `dir` (created when missing).
void createCatalogue(const std::filesystem::path& dir);
// Appends rows to the closed catalogue in `dir`.
void addEntries(const std::filesystem::path& dir, const std::vector<EntryRow>& rows);
void addFiles(const std::filesystem::path& dir, const std::vector<FileRow>& rows);
void addAddresses(const std::filesystem::path& dir, const std::vector<AddressRow>& rows);
// Simple values to fill lists: n entries numbered 1..n titled "Eintrag 0001"...
std::vector<EntryRow> numberedEntries(int n);

}  // namespace qvtest
