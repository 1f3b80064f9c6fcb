#include "store/cataloguecheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "store/cataloguesession.h"
#include "store/dm.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/nsx_file.h"
#include "store/xbase/nsx_tag.h"
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
bool createTable(const CatalogTableDef& def, const QString& path, xb::Env& env,
                 const FatalMessage& fatal) {
    try {
        env.create(local(path));
    } catch (const Error&) {
        fatal(def.createFailure);
        return false;
    }
    xb::TableBuilder builder(local(path), env);
    for (const CatalogField& f : def.fields)
        builder.addField(f.name.toStdString(), f.type, f.width, f.decimals);
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

// Whether the attached index holds exactly the table's tags with sound pages.
// The keys are not compared with the records: the engine keeps them up to
// date, and an index left interrupted was rebuilt at the open.
bool indexUsable(xb::Table& t, const CatalogTableDef& def) {
    xb::NsxFile* nsx = t.indexFile();
    if (!nsx) return true;
    if (nsx->tagCount() != static_cast<int>(def.tags.size())) return false;
    for (int i = 0; i < nsx->tagCount(); ++i)
        if (QString::fromStdString(nsx->tag(i).name())
                .compare(def.tags[i].name, Qt::CaseInsensitive) != 0)
            return false;
    return nsx->verify().empty();
}

// Opens the table object; an index file it cannot use is deleted on the way,
// so that the build below makes a new one.
void openTable(TTable& t, const QString& indexPath, const CatalogTableDef& def) {
    try {
        t.Open();
    } catch (const Error& e) {
        if (e.code() != ErrorCode::Corrupt || !sameFile(e.file(), indexPath)) throw;
        removeCatalogueFile(indexPath);
        t.Open();
        return;
    }
    if (!indexUsable(*t.engine(), def)) {
        t.Close();
        removeCatalogueFile(indexPath);
        t.Open();
    }
}

void buildIndex(TApollo& apollo, const CatalogTableDef& def, IntroDisplay& intro) {
    const int n = static_cast<int>(def.tags.size());
    intro.announceSteps(n);
    IntroGaugeHook hook(intro);
    intro.showGauge();
    intro.setStepText(def.indexText);
    for (int i = 0; i < n; ++i) {
        intro.setStep(i);
        const CatalogTag& tag = def.tags[i];
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

bool checkCatalogue(TDM& dm, CatalogueSession& access, IntroDisplay& intro,
                    const FatalMessage& fatal, xb::Env& env) {
    access.detach(CatalogTable::Entries);
    access.detach(CatalogTable::Files);
    for (CatalogTable which : kCheckOrder) {
        const CatalogTableDef& def = catalogTable(which);
        TTable& table = dm.table(which);
        const QString dataPath = dm.filePath(def.dataFile);
        const QString indexPath = dm.filePath(def.indexFile);
        if (!QFileInfo::exists(dataPath)) {
            removeCatalogueFile(indexPath);
            if (!createTable(def, dataPath, env, fatal)) return false;
            if (which == CatalogTable::Addresses) addPlaceholders(table);
        }
        openTable(table, indexPath, def);
        if (!QFileInfo::exists(indexPath)) buildIndex(access.apollo(which), def, intro);
        if (which == CatalogTable::Entries) intro.hideGauge();
    }
    return true;
}

}  // namespace qv
