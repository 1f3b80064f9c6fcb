#include "ui/application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "ui/errorhandler.h"

namespace qv {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        reportError(e);
    } catch (...) {
        reportUnknownError();
    }
    return false;
}

bool Application::installGermanTranslation() {
    auto* tr = new QTranslator(this);
    if (!tr->load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete tr;
        return false;
    }
    return installTranslator(tr);
}

}  // namespace qv
