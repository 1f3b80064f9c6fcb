#include "ui/firstactivation.h"

#include "store/displays.h"
#include "ui/appinfo.h"
#include "ui/cataloguestartup.h"
#include "ui/help.h"

namespace qv {

bool FirstActivation::run(IntroDisplay& intro, CatalogueStartup& catalogue) {
    // Showing the intro window lets window messages run, which may activate
    // the main window again before the flag is cleared.
    if (!m_pending || m_running) return false;
    m_running = true;
    struct Done {
        bool& running;
        ~Done() { running = false; }
    } done{m_running};

    setHelpFile(kHelpFileName);
    intro.setStepText(QStringLiteral("Datenbank laden"));
    intro.showNow();
    m_pending = false;
    try {
        if (!catalogue.checkCatalogue(intro)) {
            // The program is ending: nothing of the start-up is relied on.
            intro.closeNow();
            return true;
        }
        catalogue.reopenTables();
        catalogue.selectStartOrders();
        catalogue.reattachControls();
        catalogue.gotoFirstEntry();
    } catch (...) {
        // The intro window has no close box: do not leave it standing over a
        // main window whose catalogue could not be opened.
        intro.closeNow();
        throw;
    }
    intro.closeNow();
    catalogue.focusEntryList();
    catalogue.initEntryNumbers();
    m_completed = true;
    return true;
}

}  // namespace qv
