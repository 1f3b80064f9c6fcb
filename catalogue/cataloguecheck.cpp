#include "catalogue/cataloguecheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/readingjournal.h"
#include "catalogue/volumetable.h"
#include "store/conversion.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/smt_file.h"
#include "store/xbase/table.h"
#include "store/xbase/table_builder.h"
#include "store/xbase/table_check.h"
#include "store/xbase/table_index.h"

#include <QStringList>

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
    if (!t.index().hasIndex()) return true;
    if (t.index().tagCount() != static_cast<int>(def.tags.size())) return false;
    for (int i = 0; i < t.index().tagCount(); ++i)
        if (QString::fromStdString(t.index().tagName(i + 1))
                .compare(def.tags[i].name, Qt::CaseInsensitive) != 0)
            return false;
    if (!fullCheck) return true;
    return t.index().indexFaults().empty();
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

// The memo references of the table that point where no memo can be, told
// once: the entries by number and title, other tables by count. A file
// table whose memo file never held a memo is not read through.
QString damagedMemoNotice(CatalogueTable which, xb::Table& t) {
    const xb::SmtFile* smt = t.smtFile();
    if (!smt) return {};
    if (which != CatalogueTable::Entries && smt->nextFreeBlock() <= smt->firstDataBlock() &&
        smt->fileSize() <= xb::SmtFile::kHeaderSize)
        return {};
    const std::vector<xb::MemoFault> faults = xb::checkMemos(t);
    if (faults.empty()) return {};
    const QString memoPath = QDir::toNativeSeparators(QFile::decodeName(smt->path().c_str()));
    if (which != CatalogueTable::Entries)
        return QStringLiteral(
                   "Die Memodatei %1 ist beschädigt: %2 Verweise zeigen auf Daten, "
                   "die es nicht gibt")
            .arg(memoPath)
            .arg(faults.size());
    const int number = t.fieldIndex("eindeutig");
    const int title = t.fieldIndex("bezeich");
    std::vector<std::uint8_t> rec(t.recordLength());
    QStringList names;
    constexpr std::size_t kNamed = 10;
    for (std::size_t i = 0; i < faults.size() && i < kNamed; ++i) {
        t.readRecordAt(faults[i].recno, rec.data());
        const auto field = [&](int f) {
            const xb::FieldDesc& d = t.field(f);
            return fromCp1252(std::string_view(reinterpret_cast<const char*>(rec.data()) + d.offset,
                                               d.len))
                .trimmed();
        };
        names << QStringLiteral("Nr. %1 \"%2\"")
                     .arg(number >= 0 ? field(number) : QString::number(faults[i].recno),
                          title >= 0 ? field(title) : QString());
    }
    if (faults.size() > kNamed)
        names << QStringLiteral("und %1 weitere").arg(faults.size() - kNamed);
    return QStringLiteral("Der Zusatztext folgender Einträge ist beschädigt (Memodatei %1): %2")
        .arg(memoPath, names.join(QStringLiteral(", ")));
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

bool openCatalogueReadOnly(TDM& dm) {
    auto setWritable = [&](bool writable) {
        for (CatalogueTable t : kTableOrder) {
            TTable& table = dm.table(t);
            try {
                table.Close();
            } catch (...) {
            }
            table.setReadOnly(!writable);
            table.setExclusive(writable);
        }
    };
    setWritable(false);
    try {
        for (CatalogueTable t : kTableOrder) {
            TTable& table = dm.table(t);
            table.Open();
            // The program works through the tags: an index that is missing
            // or torn (only a writer could build it) is no use.
            xb::Table& engine = *table.engine();
            if (!engine.index().hasIndex() || engine.index().tagCount() == 0)
                throw Error(ErrorCode::NotFound,
                            "Die Indexdatei " + engine.index().indexPath() + " fehlt");
            // Selecting the first tag reads it: a torn one fails here,
            // not later in the main window.
            engine.index().setOrder(1);
            engine.index().setOrder(0);
        }
    } catch (...) {
        setWritable(true);
        return false;
    }
    return true;
}

QString readOnlyStartText(const QString& reason) {
    const bool full = reason.contains(QStringLiteral("kein Platz")) ||
                      reason.contains(QStringLiteral("Speicherplatzkontingent"));
    return QStringLiteral(
               "Der Katalog kann nicht zum Schreiben geöffnet werden: %1.\n\n"
               "Er wird nur zum Lesen geöffnet: Sie können alles ansehen und suchen, "
               "aber nichts ändern. %2")
        .arg(reason,
             full ? QStringLiteral("Schaffen Sie Platz auf dem Datenträger und starten Sie das "
                                   "Programm neu.")
                  : QStringLiteral("Geben Sie den Ordner zum Schreiben frei und starten Sie das "
                                   "Programm neu."));
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
        // An index a reorganisation set aside and did not get back to (it
        // was killed): its table was packed, or the index is built again.
        try {
            removeCatalogueFile(indexPath + QStringLiteral(".reorg"));
        } catch (const Error&) {
        }
        const std::uint32_t missing = openTable(table, indexPath, def);
        if (missing > 0 && notice) notice(missingRecordsNotice(dataPath, missing));
        if (notice) {
            const QString memos = damagedMemoNotice(which, *table.engine());
            if (!memos.isEmpty()) notice(memos);
        }
        if (!QFileInfo::exists(indexPath)) buildIndex(access.apollo(which), def, intro);
        if (which == CatalogueTable::Entries) intro.hideGauge();
    }
    const QString settled = settleInterruptedReading(dm);
    if (!settled.isEmpty() && notice) notice(settled);
    // The volume table beside the six: a catalogue made before it gets it
    // now, the six stay as they are.
    checkVolumeTable(dm.programDir(), env);
    return true;
}

}  // namespace qv
