#include "support/catalogue/cataloguebuilder.h"

#include <stdexcept>

#include "catalogue/cataloguecheck.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "store/displays.h"
#include "store/guards.h"
#include "store/ttable.h"
#include "store/xbase/settings.h"

namespace qvtest {

namespace {

QString dirOf(const std::filesystem::path& dir) {
    return QString::fromStdString(dir.string());
}

// Opens the catalogue in `dir` and appends to one table.
template <class Row, class Fill>
void append(const std::filesystem::path& dir, qv::CatalogueTable which,
            const std::vector<Row>& rows, Fill fill) {
    xb::SettingsGuard settings;
    TDM dm(dirOf(dir));
    TTable& t = dm.table(which);
    t.Open();
    for (const Row& r : rows) {
        qv::ScopedEdit edit(t);
        t.Append();
        fill(t, r);
        edit.post();
        if constexpr (requires { r.deleted; }) {
            if (r.deleted) t.Delete();
        }
    }
    t.Close();
}

void set(TTable& t, const char* field, const QString& v) {
    t.FieldByName(QLatin1String(field)).setAsString(v);
}
void setInt(TTable& t, const char* field, qint64 v) {
    t.FieldByName(QLatin1String(field)).setAsString(QString::number(v));
}

}  // namespace

void createCatalogue(const std::filesystem::path& dir) {
    std::filesystem::create_directories(dir);
    xb::SettingsGuard settings;
    TDM dm(dirOf(dir));
    qv::CatalogueSession session(dm);
    qv::SilentIntro intro;
    if (!qv::checkCatalogue(dm, session, intro, [](const QString& text) {
            throw std::runtime_error("catalogue not created: " + text.toStdString());
        }))
        throw std::runtime_error("catalogue not created");
    session.reattach();
    for (qv::CatalogueTable t : qv::kTableOrder)
        dm.table(t).Close();
}

void addEntries(const std::filesystem::path& dir, const std::vector<EntryRow>& rows) {
    append(dir, qv::CatalogueTable::Entries, rows, [](TTable& t, const EntryRow& r) {
        setInt(t, "EINDEUTIG", r.number);
        set(t, "BEZEICH", r.title);
        setInt(t, "BOXNUMMER", r.box);
        setInt(t, "DISKNUMMER", r.disk);
        set(t, "KATEGORIE", r.category);
        set(t, "DISKART", r.carrierType);
        setInt(t, "PROGDSKS", r.carriers);
        setInt(t, "LEIHRAUS", r.lentTo);
        setInt(t, "LEIHREIN", r.borrowedFrom);
        for (int i = 0; i < 12; ++i)
            set(t,
                QStringLiteral("PROG%1").arg(i + 1, 2, 10, QLatin1Char('0')).toLatin1().constData(),
                i < r.flags.size() ? QString(r.flags.at(i)) : QStringLiteral(" "));
        if (!r.memo.isEmpty()) set(t, "MEMO", r.memo);
    });
}

void addFiles(const std::filesystem::path& dir, const std::vector<FileRow>& rows) {
    append(dir, qv::CatalogueTable::Files, rows, [](TTable& t, const FileRow& r) {
        setInt(t, "DIRNUMM", r.owner);
        set(t, "DIRPFAD", r.path);
        set(t, "DIRNAME", r.name);
        set(t, "DIRENDUNG", r.ext);
        setInt(t, "DIRSIZE", r.size);
        if (r.date.isValid()) set(t, "DIRDATE", r.date.toString(QStringLiteral("dd.MM.yyyy")));
        set(t, "DIRTIME", r.time);
    });
}

void addAddresses(const std::filesystem::path& dir, const std::vector<AddressRow>& rows) {
    append(dir, qv::CatalogueTable::Addresses, rows, [](TTable& t, const AddressRow& r) {
        setInt(t, "VNUMMER", r.number);
        set(t, "VNAME", r.name);
        set(t, "VVORNAME", r.firstName);
        set(t, "VZUSATZ", r.extra);
        set(t, "VSTRASSE", r.street);
        set(t, "VPLZ", r.postcode);
        set(t, "VORT", r.town);
        set(t, "VTELEFON", r.phone);
        set(t, "VFAX", r.fax);
        set(t, "VEMAIL", r.email);
        set(t, "VBEMERK1", r.remark1);
        set(t, "VBEMERK2", r.remark2);
    });
}

std::vector<EntryRow> numberedEntries(int n) {
    std::vector<EntryRow> rows;
    for (int i = 1; i <= n; ++i) {
        EntryRow r;
        r.number = i;
        r.title = QStringLiteral("Eintrag %1").arg(i, 4, 10, QLatin1Char('0'));
        r.box = 1 + i / 10;
        r.disk = i;
        r.category = QStringLiteral("Kategorie %1").arg(i % 3);
        r.carrierType = QStringLiteral("CD-ROM");
        rows.push_back(r);
    }
    return rows;
}

}  // namespace qvtest
