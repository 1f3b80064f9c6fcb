#include "ui/searchcheck.h"

#include "catalogue/cataloguesession.h"
#include "ui/dialogs.h"

namespace qv {

bool searchCheck(const CatalogueSession& session) {
    if (!session.searchActive()) return true;
    message(QStringLiteral("Neuanlage nur bei NICHT-AKTIVER  SUCHE möglich."),
            QStringLiteral("Achtung"), MsgIcon::Information, MsgButtons::Ok);
    return false;
}

}  // namespace qv
