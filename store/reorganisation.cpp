#include "store/reorganisation.h"

#include "store/cataloguesession.h"
#include "store/dm.h"
#include "store/tapollo.h"
#include "store/ttable.h"

namespace qv {

bool reorganiseCatalogue(TDM& dm, CatalogueSession& access, IntroDisplay& intro,
                         const FatalMessage& fatal) {
    intro.setStatusText(QStringLiteral("Reorg:"));
    intro.setStepText(QStringLiteral("Datenbank schließen, Index löschen"));
    intro.showNow();
    try {
        access.detachAll();
        for (CatalogTable t : kTableOrder)
            dm.table(t).Close();
        for (CatalogTable t : kIndexDeletionOrder)
            removeCatalogueFile(dm.filePath(catalogTable(t).indexFile));
        for (CatalogTable t : kTableOrder) {
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
        for (CatalogTable t : kTableOrder) {
            intro.setStepText(catalogTable(t).packText);
            if (!first) letMessagesRun();
            first = false;
            IntroGaugeHook hook(intro);
            access.apollo(t).sx_Pack();
        }
        if (!checkCatalogue(dm, access, intro, fatal)) return false;
    } catch (...) {
        intro.closeNow();
        throw;
    }
    access.reattach();
    intro.closeNow();
    return true;
}

}  // namespace qv
