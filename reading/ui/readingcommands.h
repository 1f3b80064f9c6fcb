// The reading commands of the main window: reading a carrier into the
// current entry, deleting the entry with its file records, and the file
// assignment.
#pragma once

#include <QObject>

#include "ui/feature.h"

namespace qv {

class ReadingCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;

  public slots:
    void SpeedButton5Click();           // "&Datenträger einlesen"
    void SpeedButton4Click();           // "&Löschen" of the entry
    void Dateizuordnunglschen1Click();  // "Dateizuordnung &löschen"

  private:
    MainWindowHost* m_host = nullptr;
};

}  // namespace qv
