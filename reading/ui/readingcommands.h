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

  public:
    // "&Datenträger einlesen" with the volume at `mountPoint` chosen, when
    // the dialog offers it.
    void readCarrierFrom(const QString& mountPoint);

  private:
    MainWindowHost* m_host = nullptr;
    QString m_preferredVolume;
};

}  // namespace qv
