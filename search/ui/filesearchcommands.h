// The search in all files (F12) from the main window.
#pragma once

#include <QObject>

#include "ui/feature.h"

namespace qv {

class FileSearchCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;

  public slots:
    // The file table handed to the window while it is shown, the entry
    // record and tag restored afterwards.
    void SpeedButton6Click();

  private:
    MainWindowHost* m_host = nullptr;
};

// The search in all files from the main window `host`, starting on file
// record `fileRecord` (0: on the first file).
void showFileSearch(MainWindowHost& host, int fileRecord = 0);

}  // namespace qv
