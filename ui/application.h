// The program's application object. Every event, and so every command the
// user starts, is delivered through notify(); an error that escapes the
// command is caught there and handed to the general error handler, and the
// program goes on.
#pragma once

#include <QApplication>

namespace qv {

class Application : public QApplication {
    Q_OBJECT

  public:
    Application(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Installs Qt's German translation (texts of the standard buttons).
    // Returns false when it is not available.
    bool installGermanTranslation();
};

}  // namespace qv
