// The carrier identity in the main window: the lower tab with the current
// entry's volume facts, and the recognition of a carrier mounted while the
// program runs.
//
// Recognition. For each volume the watcher reports, a notice appears in the
// status bar (non-modal, replacing the one before): a known carrier names
// its entry with the actions "anzeigen" (the entry becomes current; a query
// that hides it is left after a question) and "neu einlesen" (the entry
// becomes current and the reading dialog opens with that volume chosen); an
// unknown one offers "als neuen Eintrag anlegen und einlesen" (the entry
// dialog, then the reading). The notice of a known carrier tells, once its
// files are counted, whether they changed since its last reading. Nothing
// is stored by the recognition itself. Unmounting the volume takes its
// notice away.
#pragma once

#include <QObject>
#include <QString>

#include "ui/feature.h"
#include "volumes/core/volumefacts.h"

class QLabel;

namespace qv {

class CarrierCounter;
class ReadingCommands;
class VolumePanel;
class VolumeWatcher;

class VolumeCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    // `reading` opens the reading dialog (not owned; may be null, then the
    // reading actions are not offered).
    explicit VolumeCommands(ReadingCommands* reading = nullptr);
    ~VolumeCommands() override;

    void bind(MainWindowHost& host) override;

    VolumeWatcher* watcher() const { return m_watcher; }
    VolumePanel* panel() const { return m_panel; }
    // `VolumeNotice` in the status bar.
    QLabel* notice() const { return m_notice; }
    // The entry the notice names (0: an unknown carrier or none).
    int noticeEntry() const { return m_entry; }

  public slots:
    void volumeMounted(const QString& mountPoint);
    void volumeUnmounted(const QString& mountPoint);
    // The notice's actions.
    void showEntry();
    void readAgain();
    void createAndRead();
    void closeNotice();

  private:
    void refreshPanel();
    void counted(const QString& mountPoint, qint64 files, qint64 bytes);
    void setNotice(const QString& text, const QStringList& actions);
    bool makeCurrent();

    ReadingCommands* m_reading = nullptr;
    MainWindowHost* m_host = nullptr;
    VolumeWatcher* m_watcher = nullptr;
    CarrierCounter* m_counter = nullptr;
    VolumePanel* m_panel = nullptr;
    QLabel* m_notice = nullptr;
    QString m_mountPoint;
    int m_entry = 0;
    VolumeFacts m_stored;
    QString m_text;
    QStringList m_actions;
};

}  // namespace qv
