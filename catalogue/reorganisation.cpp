#include "catalogue/reorganisation.h"

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/volumetable.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/env.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <exception>
#include <vector>

namespace qv {

namespace {

// After a failed step: every table open again as the start-up check leaves
// it (the engine finishes or removes what a pack left on opening, and the
// index files deleted on the way are built again), in the start orders.
// False when that failed too.
bool reopenAfterFailure(TDM& dm, CatalogueSession& access, IntroDisplay& intro,
                        const FatalMessage& fatal) {
    for (CatalogueTable t : kTableOrder) {
        try {
            dm.table(t).Close();
        } catch (...) {
        }
    }
    try {
        if (!checkCatalogue(dm, access, intro, fatal)) return false;
        for (CatalogueTable t : kTableOrder)
            access.apollo(t).sx_SetOrder(
                t == CatalogueTable::Entries
                    ? tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich"))
                    : 1);
        access.apollo(CatalogueTable::Entries).sx_GoTop();
        return true;
    } catch (...) {
        return false;
    }
}

// The index files are set aside while their tables are packed, not deleted
// before: a table whose pack did not run, or did not reach its commit point,
// gets its index back when a step fails, so a failure for lack of room
// leaves no index that needs room to be built. A packed table's old index is
// deleted as soon as its pack is done. A name that is no plain file is
// deleted as before (and stops the reorganisation when it cannot be).
class IndexesAside {
  public:
    explicit IndexesAside(TDM& dm) : m_dm(dm) {}

    void setAside(CatalogueTable t) {
        const QString index = indexPath(t);
        if (!QFileInfo(index).isFile()) {
            removeCatalogueFile(index);
            return;
        }
        removeCatalogueFile(aside(t));
        rename(index, aside(t));
        m_held.push_back(t);
    }
    // The table is packed: its old index no longer fits it.
    void drop(CatalogueTable t) {
        const auto it = std::find(m_held.begin(), m_held.end(), t);
        if (it == m_held.end()) return;
        removeCatalogueFile(aside(t));
        m_held.erase(it);
    }
    // After a failed step, with the tables closed: the index back to every
    // table that is as it was; the others' are deleted (the reopening builds
    // them).
    void putBack() {
        for (CatalogueTable t : m_held) {
            try {
                const QString data = m_dm.filePath(catalogueTable(t).dataFile);
                if (xb::Table::packCommitted(xb::Env::posix(), data.toStdString())) {
                    removeCatalogueFile(aside(t));
                } else {
                    removeCatalogueFile(indexPath(t));
                    rename(aside(t), indexPath(t));
                }
            } catch (...) {  // the reopening builds what is missing
            }
        }
        m_held.clear();
    }

  private:
    QString indexPath(CatalogueTable t) const { return m_dm.filePath(catalogueTable(t).indexFile); }
    QString aside(CatalogueTable t) const { return indexPath(t) + QStringLiteral(".reorg"); }
    static void rename(const QString& from, const QString& to) {
        QFile f(from);
        if (f.rename(to)) return;
        const std::string p = QDir::toNativeSeparators(from).toStdString();
        throw Error(
            ErrorCode::IoError,
            "Die Datei " + p + " kann nicht umbenannt werden: " + f.errorString().toStdString(), p);
    }

    TDM& m_dm;
    std::vector<CatalogueTable> m_held;
};

}  // namespace

bool reorganiseCatalogue(TDM& dm, CatalogueSession& access, IntroDisplay& intro,
                         const FatalMessage& fatal) {
    intro.setStatusText(QStringLiteral("Reorg:"));
    intro.setStepText(QStringLiteral("Datenbank schließen, Index löschen"));
    intro.showNow();
    IndexesAside indexes(dm);
    try {
        access.detachAll();
        for (CatalogueTable t : kTableOrder)
            dm.table(t).Close();
        for (CatalogueTable t : kIndexDeletionOrder)
            indexes.setAside(t);
        for (CatalogueTable t : kTableOrder) {
            TTable& table = dm.table(t);
            table.setExclusive(true);
            table.setIndexName({});
            table.Open();
        }
        intro.announceSteps(1);
        intro.setStep(0);
        intro.showGauge();
        letMessagesRun();
        bool first = true;
        for (CatalogueTable t : kTableOrder) {
            intro.setStepText(catalogueTable(t).packText);
            if (!first) letMessagesRun();
            first = false;
            IntroGaugeHook hook(intro);
            access.apollo(t).sx_Pack();
            indexes.drop(t);
        }
        // The volume table after the six, its index built again by the check.
        packVolumeTable(dm.programDir());
        if (!checkCatalogue(dm, access, intro, fatal)) return false;
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        for (CatalogueTable t : kTableOrder) {
            try {
                dm.table(t).Close();
            } catch (...) {
            }
        }
        indexes.putBack();
        const bool reopened = reopenAfterFailure(dm, access, intro, fatal);
        intro.closeNow();
        access.reattach();
        if (!reopened) std::rethrow_exception(failure);
        try {
            std::rethrow_exception(failure);
        } catch (const Error& e) {
            throw Error(e.code(),
                        e.text() +
                            "; die Reorganisation wurde abgebrochen, der Datenbestand ist "
                            "wieder geöffnet",
                        e.file(), e.record(), e.page());
        }
    }
    access.reattach();
    intro.closeNow();
    return true;
}

}  // namespace qv
