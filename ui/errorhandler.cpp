#include "ui/errorhandler.h"

#include "store/xbase/error.h"
#include "ui/appinfo.h"
#include "ui/dialogs.h"

namespace qv {

QString errorMessageText(const std::exception& e) {
    if (const auto* err = dynamic_cast<const Error*>(&e))
        return QString::fromStdString(err->text()) + QLatin1Char('.');
    return QString::fromUtf8(e.what()) + QLatin1Char('.');
}

void reportError(const std::exception& e) {
    dialogs().message(errorMessageText(e), kAppTitle, MsgIcon::Error, MsgButtons::Ok);
}

void reportUnknownError() {
    dialogs().message(QStringLiteral("Unbekannter Fehler."), kAppTitle, MsgIcon::Error,
                      MsgButtons::Ok);
}

}  // namespace qv
