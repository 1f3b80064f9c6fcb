#include "catalogue/reorganisation.h"

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/volumetable.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"

#include <exception>

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

}  // namespace

bool reorganiseCatalogue(TDM& dm, CatalogueSession& access, IntroDisplay& intro,
                         const FatalMessage& fatal) {
    intro.setStatusText(QStringLiteral("Reorg:"));
    intro.setStepText(QStringLiteral("Datenbank schließen, Index löschen"));
    intro.showNow();
    try {
        access.detachAll();
        for (CatalogueTable t : kTableOrder)
            dm.table(t).Close();
        for (CatalogueTable t : kIndexDeletionOrder)
            removeCatalogueFile(dm.filePath(catalogueTable(t).indexFile));
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
        }
        // The volume table after the six, its index built again by the check.
        packVolumeTable(dm.programDir());
        if (!checkCatalogue(dm, access, intro, fatal)) return false;
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
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
