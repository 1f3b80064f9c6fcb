// Real message and input boxes (QMessageBox, QInputDialog). Their standard
// buttons speak German once Qt's German translation is installed.
#pragma once

#include "ui/dialogs.h"

namespace qv {

class WidgetDialogs : public Dialogs {
  public:
    MsgAnswer message(const QString& text, const QString& caption, MsgIcon icon,
                      MsgButtons buttons) override;
    InputResult input(const QString& caption, const QString& prompt, const QString& value,
                      int maxLength) override;
    QString openFile(const QString& caption, const QString& directory,
                     const QString& filter) override;
    QString chooseDirectory(const QString& caption, const QString& directory) override;
};

}  // namespace qv
