#include "volumes/core/volumewatcher.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileInfo>

#include "volumes/core/volumeprovider.h"

namespace qv {

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");

// Whether a system bus can be reached at all, asked before Qt tries (and
// would complain on the terminal).
bool systemBusThere() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS")) return true;
    return QFileInfo::exists(QStringLiteral("/run/dbus/system_bus_socket")) ||
           QFileInfo::exists(QStringLiteral("/var/run/dbus/system_bus_socket"));
}

}  // namespace

VolumeWatcher::VolumeWatcher(VolumeFactsProvider& provider, QObject* parent)
    : QObject(parent), m_provider(provider) {
    m_timer.setInterval(kPollMilliseconds);
    connect(&m_timer, &QTimer::timeout, this, &VolumeWatcher::rescan);
    m_settle.setSingleShot(true);
    m_settle.setInterval(300);
    connect(&m_settle, &QTimer::timeout, this, &VolumeWatcher::rescan);
}

void VolumeWatcher::start(bool useSystemBus) {
    const QStringList now = m_provider.mountPoints();
    m_known = QSet<QString>(now.begin(), now.end());
    if (useSystemBus && systemBusThere() && listenToUDisks()) return;
    m_timer.start();
}

bool VolumeWatcher::listenToUDisks() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    if (!bus.interface()->isServiceRegistered(kService).value()) return false;
    // Mount points change on the file-system interface of a block object.
    bool ok = bus.connect(kService, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                          QStringLiteral("PropertiesChanged"), this,
                          SLOT(udisksPropertiesChanged(QString, QVariantMap, QStringList)));
    const QString manager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
    const QString path = QStringLiteral("/org/freedesktop/UDisks2");
    ok = ok && bus.connect(kService, path, manager, QStringLiteral("InterfacesAdded"), this,
                           SLOT(udisksObjectsChanged()));
    ok = ok && bus.connect(kService, path, manager, QStringLiteral("InterfacesRemoved"), this,
                           SLOT(udisksObjectsChanged()));
    m_listening = ok;
    return ok;
}

void VolumeWatcher::udisksPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                            const QStringList& invalidated) {
    if (interface != QLatin1String("org.freedesktop.UDisks2.Filesystem")) return;
    const QString key = QStringLiteral("MountPoints");
    if (changed.contains(key) || invalidated.contains(key)) m_settle.start();
}

void VolumeWatcher::udisksObjectsChanged() {
    m_settle.start();
}

void VolumeWatcher::rescan() {
    const QStringList now = m_provider.mountPoints();
    const QSet<QString> current(now.begin(), now.end());
    const QSet<QString> before = m_known;
    m_known = current;
    for (const QString& m : before)
        if (!current.contains(m)) emit unmounted(m);
    for (const QString& m : now)
        if (!before.contains(m)) emit mounted(m);
}

}  // namespace qv
