// "Ordneransicht" in the menu "Datenträger" and the entry list's context
// menu: the current entry's files as a folder tree; a file chosen there is
// shown in the search in all files.
#pragma once

#include <QObject>

#include "ui/feature.h"

class TOrdneransicht;

namespace qv {

class FolderViewCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;
    // The window, created on first use and kept.
    TOrdneransicht& window();

  public slots:
    void Ordneransicht1Click();

  private:
    MainWindowHost* m_host = nullptr;
};

}  // namespace qv
