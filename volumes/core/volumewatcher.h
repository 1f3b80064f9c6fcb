// Notices volumes mounted while the program runs.
//
// Where the system bus offers UDisks2, its signals about file systems
// (mount points changed, objects added or removed) make the watcher look at
// the mounts again; elsewhere it looks every few seconds. Either way it
// compares the provider's mount points with those it saw before and reports
// each new one once; the volumes mounted when it starts are not reported.
// Without a system bus or without UDisks2 it polls without a word.
#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

namespace qv {

class VolumeFactsProvider;

class VolumeWatcher : public QObject {
    Q_OBJECT

  public:
    static constexpr int kPollMilliseconds = 3000;

    // `provider` is not owned and must outlive the watcher.
    explicit VolumeWatcher(VolumeFactsProvider& provider, QObject* parent = nullptr);

    // Takes the mounts as they are and starts watching; `useSystemBus`
    // false polls even where UDisks2 is there.
    void start(bool useSystemBus = true);
    bool polling() const { return m_timer.isActive(); }
    bool listening() const { return m_listening; }

  public slots:
    // Looks at the mounts now.
    void rescan();

  signals:
    void mounted(const QString& mountPoint);
    void unmounted(const QString& mountPoint);

  private slots:
    void udisksPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                 const QStringList& invalidated);
    void udisksObjectsChanged();

  private:
    bool listenToUDisks();

    VolumeFactsProvider& m_provider;
    QSet<QString> m_known;
    QTimer m_timer;
    QTimer m_settle;  // collects a burst of bus signals into one look
    bool m_listening = false;
};

}  // namespace qv
