#include "catalogue/cataloguecheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/volumetable.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"

namespace qv {

namespace {

std::string local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

bool sameFile(const std::string& a, const QString& b) {
    return QDir::cleanPath(QFile::decodeName(QByteArray::fromStdString(a))) == QDir::cleanPath(b);
}

// Creates the table as the engine's create calls do: a new work area for the
// file, the fields, then the completion that writes the table and closes it.
bool createTable(const CatalogueTableDef& def, const QString& path, xb::Env& env,
                 const FatalMessage& fatal) {
    try {
        env.create(local(path));
    } catch (const Error&) {
        fatal(def.createFailure);
        return false;
    }
    xb::TableBuilder builder(local(path), env);
    for (const tables::Field& f : def.layout->fields)
        builder.addField(std::string(f.name), f.type, f.width, f.decimals);
    try {
        builder.create();
    } catch (const Error&) {
        fatal(def.completeFailure);
        return false;
    }
    return true;
}

// The two records every address table starts with: the no-address record,
// and the one numbered outside every address tag.
void addPlaceholders(TTable& t) {
    t.Open();
    t.Append();
    t.FieldByName(QStringLiteral("VNAME")).setAsString(kNoAddressName);
    t.Post();
    t.Append();
    t.FieldByName(QStringLiteral("VNAME")).setAsString(kNoAddressName);
    t.FieldByName(QStringLiteral("VNUMMER")).setAsInteger(kOutsideAddressNumber);
    t.Post();
    t.Close();
}

// Index files up to this size have every page checked at each start; a
// larger one (the file table's of a big catalogue) would hold the start up
// for seconds, so unless its data file was cut short it gets the checks of
// its headers made at opening, every page is checked as it is read, and
// `qvdb check` checks it in full.
constexpr qint64 kFullCheckBytes = 4 * 1024 * 1024;

// Whether the attached index holds exactly the table's tags and, with
// `fullCheck`, sound pages and no entry for a record past the table's end (a
// data file cut short). The keys are not compared with the records: the
// engine keeps them up to date, and an index left interrupted was rebuilt at
// the open.
bool indexUsable(xb::Table& t, const CatalogueTableDef& def, bool fullCheck) {
    if (!t.hasIndex()) return true;
    if (t.tagCount() != static_cast<int>(def.tags.size())) return false;
    for (int i = 0; i < t.tagCount(); ++i)
        if (QString::fromStdString(t.tagName(i + 1))
                .compare(def.tags[i].name, Qt::CaseInsensitive) != 0)
            return false;
    if (!fullCheck) return true;
    return t.indexFaults().empty();
}

// Opens the table object; an index file it cannot use is deleted on the way,
// so that the build below makes a new one. Returns the records missing from
// a data file cut short (the first open corrects its header).
std::uint32_t openTable(TTable& t, const QString& indexPath, const CatalogueTableDef& def) {
    std::uint32_t missing = 0;
    try {
        t.Open();
    } catch (const Error& e) {
        if (e.code() != ErrorCode::Corrupt || !sameFile(e.file(), indexPath)) throw;
        removeCatalogueFile(indexPath);
        t.Open();
        return t.engine()->missingRecords();
    }
    missing = t.engine()->missingRecords();
    const bool fullCheck = missing > 0 || QFileInfo(indexPath).size() <= kFullCheckBytes;
    if (!indexUsable(*t.engine(), def, fullCheck)) {
        t.Close();
        removeCatalogueFile(indexPath);
        t.Open();
    }
    return missing;
}

void buildIndex(TApollo& apollo, const CatalogueTableDef& def, IntroDisplay& intro) {
    const int n = static_cast<int>(def.tags.size());
    intro.announceSteps(n);
    IntroGaugeHook hook(intro);
    intro.showGauge();
    intro.setStepText(def.indexText);
    for (int i = 0; i < n; ++i) {
        intro.setStep(i);
        const CatalogueTag& tag = def.tags[i];
        apollo.sx_IndexTag(tag.name, tag.key, tag.condition);
    }
}

}  // namespace

IntroGaugeHook::IntroGaugeHook(IntroDisplay& intro) {
    TApollo::sx_SetGaugeHook(intro.progressReceiver());
}

IntroGaugeHook::~IntroGaugeHook() {
    TApollo::sx_SetGaugeHook({});
}

void removeCatalogueFile(const QString& path) {
    QFile f(path);
    if (!f.exists() || f.remove()) return;
    const std::string p = local(path);
    throw Error(ErrorCode::IoError,
                "Die Datei " + p + " kann nicht gelöscht werden: " + f.errorString().toStdString(),
                p);
}

QString missingRecordsNotice(const QString& dataPath, std::uint32_t missing) {
    return QStringLiteral(
               "Die Tabelle %1 ist unvollständig: %2 Datensätze fehlen am Ende der "
               "Datei; es wird mit den vorhandenen Datensätzen weitergearbeitet")
        .arg(QDir::toNativeSeparators(dataPath))
        .arg(missing);
}

bool checkCatalogue(TDM& dm, CatalogueSession& access, IntroDisplay& intro,
                    const FatalMessage& fatal, xb::Env& env, const DamageNotice& notice) {
    access.detach(CatalogueTable::Entries);
    access.detach(CatalogueTable::Files);
    for (CatalogueTable which : kCheckOrder) {
        const CatalogueTableDef& def = catalogueTable(which);
        TTable& table = dm.table(which);
        const QString dataPath = dm.filePath(def.dataFile);
        const QString indexPath = dm.filePath(def.indexFile);
        if (!QFileInfo::exists(dataPath)) {
            removeCatalogueFile(indexPath);
            if (!createTable(def, dataPath, env, fatal)) return false;
            if (which == CatalogueTable::Addresses) addPlaceholders(table);
        }
        const std::uint32_t missing = openTable(table, indexPath, def);
        if (missing > 0 && notice) notice(missingRecordsNotice(dataPath, missing));
        if (!QFileInfo::exists(indexPath)) buildIndex(access.apollo(which), def, intro);
        if (which == CatalogueTable::Entries) intro.hideGauge();
    }
    // The volume table beside the six: a catalogue made before it gets it
    // now, the six stay as they are.
    checkVolumeTable(dm.programDir(), env);
    return true;
}

}  // namespace qv
