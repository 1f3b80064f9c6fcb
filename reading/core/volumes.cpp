#include "reading/core/volumes.h"

#include <QFile>
#include <QStorageInfo>

#include <algorithm>

namespace qv {

QString Volume::displayText() const {
    if (label.isEmpty()) return mountPoint;
    return QStringLiteral("%1 (%2)").arg(label, mountPoint);
}

bool isPseudoFileSystem(const QByteArray& type) {
    static const char* const kPseudo[] = {
        "proc",        "sysfs",    "devtmpfs",    "devpts",    "tmpfs",
        "cgroup",      "cgroup2",  "securityfs",  "pstore",    "bpf",
        "debugfs",     "tracefs",  "configfs",    "fusectl",   "mqueue",
        "hugetlbfs",   "autofs",   "binfmt_misc", "efivarfs",  "nsfs",
        "rpc_pipefs",  "squashfs", "ramfs",       "selinuxfs", "fuse.gvfsd-fuse",
        "fuse.portal", "nfsd"};
    return std::any_of(std::begin(kPseudo), std::end(kPseudo),
                       [&](const char* p) { return type == p; });
}

bool isSystemMountPoint(const QString& mountPoint) {
    if (mountPoint.startsWith(QLatin1String("/run/media/"))) return false;
    static const char* const kSystem[] = {
        "/proc", "/sys", "/dev", "/run", "/boot", "/snap", "/var/snap", "/var/lib/docker", "/etc"};
    for (const char* s : kSystem) {
        const QLatin1String p(s);
        if (mountPoint == p || mountPoint.startsWith(p + QLatin1Char('/'))) return true;
    }
    return false;
}

namespace {

// The kernel's removable flag of the disk a partition device lies on.
bool removableDevice(const QByteArray& device) {
    if (!device.startsWith("/dev/")) return false;
    QByteArray disk = device.mid(5);
    // sdb1 -> sdb, mmcblk0p1 -> mmcblk0, sr0 stays.
    if (disk.startsWith("sr")) return true;
    if (disk.startsWith("mmcblk") || disk.startsWith("nvme")) {
        const qsizetype p = disk.lastIndexOf('p');
        if (p > 6) disk.truncate(p);
    } else {
        while (!disk.isEmpty() && disk.back() >= '0' && disk.back() <= '9')
            disk.chop(1);
    }
    QFile f(QStringLiteral("/sys/block/%1/removable").arg(QString::fromLatin1(disk)));
    if (!f.open(QIODevice::ReadOnly)) return false;
    return f.readAll().trimmed() == "1";
}

}  // namespace

QList<Volume> SystemVolumes::volumes() const {
    QList<Volume> out;
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        if (!s.isValid() || !s.isReady()) continue;
        const QString root = s.rootPath();
        if (isPseudoFileSystem(s.fileSystemType()) || isSystemMountPoint(root)) continue;
        if (std::any_of(out.begin(), out.end(),
                        [&](const Volume& v) { return v.mountPoint == root; }))
            continue;
        Volume v;
        v.mountPoint = root;
        v.label = s.name();
        v.readOnly = s.isReadOnly();
        v.removable = root.startsWith(QLatin1String("/media/")) ||
                      root.startsWith(QLatin1String("/run/media/")) || removableDevice(s.device());
        out.append(v);
    }
    return out;
}

QString defaultVolume(const QList<Volume>& volumes, const QString& previous) {
    if (volumes.isEmpty()) return QString();
    if (!previous.isEmpty())
        for (const Volume& v : volumes)
            if (v.mountPoint == previous) return previous;
    for (const Volume& v : volumes)
        if (v.removable) return v.mountPoint;
    for (const Volume& v : volumes)
        if (v.mountPoint == QLatin1String("/")) return v.mountPoint;
    return volumes.first().mountPoint;
}

}  // namespace qv
