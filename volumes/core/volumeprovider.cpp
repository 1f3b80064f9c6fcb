#include "volumes/core/volumeprovider.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <sys/stat.h>

#include <algorithm>
#include <vector>

namespace qv {

namespace {

VolumeFactsProvider* g_provider = nullptr;

QString cleanRoot(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString canonicalDevice(const QByteArray& device) {
    const QString d = QFile::decodeName(device);
    const QString c = QFileInfo(d).canonicalFilePath();
    return c.isEmpty() ? d : c;
}

QString uuidFromLinks(const QString& device) {
    QDir dir(QStringLiteral("/dev/disk/by-uuid"));
    if (!dir.exists()) return {};
    for (const QFileInfo& link :
         dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        if (link.canonicalFilePath() == device) return link.fileName();
    return {};
}

QByteArray deviceHeader(const QString& device) {
    if (!device.startsWith(QLatin1String("/dev/"))) return {};
    QFile f(device);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.read(64 * 1024);
}

bool isExt(const QByteArray& head) {
    return head.size() >= 1024 + 136 && head.mid(1024 + 56, 2) == QByteArray("\x53\xEF", 2);
}

// FAT32 keeps its serial and label at 67, FAT12/16 at 39; -1 for no FAT.
int fatFacts(const QByteArray& head) {
    if (head.size() < 512 || head.mid(510, 2) != QByteArray("\x55\xAA", 2)) return -1;
    if (head.mid(82, 5) == "FAT32") return 67;
    if (head.mid(54, 3) == "FAT") return 39;
    return -1;
}

QString readSysText(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).trimmed();
}

// The model of the disk a block device lies on: the partition's own entry,
// else its parent's.
QString modelOf(const QString& device) {
    if (!device.startsWith(QLatin1String("/dev/"))) return {};
    const QString name = device.mid(5);
    const QString sys = QStringLiteral("/sys/class/block/") + name;
    QString model = readSysText(sys + QStringLiteral("/device/model"));
    if (model.isEmpty()) model = readSysText(sys + QStringLiteral("/../device/model"));
    const QString vendor = readSysText(sys + QStringLiteral("/device/vendor"));
    if (!model.isEmpty() && !vendor.isEmpty() && !model.startsWith(vendor))
        model = vendor + QLatin1Char(' ') + model;
    return model;
}

QString hex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex()).toUpper();
}

void countDirectory(const QByteArray& path, dev_t device, std::vector<ino_t>& descent,
                    CarrierCount& c) {
    QDirIterator it(QFile::decodeName(path),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    QList<QByteArray> subdirectories;
    while (it.hasNext()) {
        it.next();
        const QByteArray p = QFile::encodeName(it.filePath());
        struct stat own {};
        if (::lstat(p.constData(), &own) != 0) continue;
        if (S_ISDIR(own.st_mode)) {
            if (!it.fileName().startsWith(QLatin1Char('.')) && own.st_dev == device)
                subdirectories.append(p);
            continue;
        }
        struct stat target {};
        if (S_ISLNK(own.st_mode)) {
            if (::stat(p.constData(), &target) != 0 || !S_ISREG(target.st_mode)) continue;
        } else if (S_ISREG(own.st_mode)) {
            target = own;
        } else {
            continue;
        }
        ++c.files;
        c.bytes += target.st_size;
    }
    for (const QByteArray& sub : subdirectories) {
        struct stat s {};
        if (::lstat(sub.constData(), &s) != 0) continue;
        if (std::find(descent.begin(), descent.end(), s.st_ino) != descent.end()) continue;
        descent.push_back(s.st_ino);
        countDirectory(sub, device, descent, c);
        descent.pop_back();
    }
}

}  // namespace

QString uuidFromHeader(const QByteArray& head) {
    auto at = [&head](int offset, int n) { return head.mid(offset, n); };
    // ext2/3/4: superblock at 1024, magic 0xEF53 at 56, UUID at 104.
    if (isExt(head)) {
        const QString h = hex(at(1024 + 104, 16)).toLower();
        if (h == QString(32, QLatin1Char('0'))) return {};
        return QStringLiteral("%1-%2-%3-%4-%5")
            .arg(h.mid(0, 8), h.mid(8, 4), h.mid(12, 4), h.mid(16, 4), h.mid(20, 12));
    }
    if (head.size() < 512 || at(510, 2) != QByteArray("\x55\xAA", 2)) return {};
    // NTFS: OEM name, serial at 72 (8 bytes, little-endian).
    if (at(3, 8) == "NTFS    ") {
        QByteArray s = at(72, 8);
        std::reverse(s.begin(), s.end());
        return hex(s);
    }
    // The FAT serial: 4 bytes, little-endian.
    const int serial = fatFacts(head);
    if (serial < 0) return {};
    QByteArray s = at(serial, 4);
    std::reverse(s.begin(), s.end());
    const QString h = hex(s);
    return h.left(4) + QLatin1Char('-') + h.mid(4);
}

QString labelFromHeader(const QByteArray& head) {
    QByteArray raw;
    if (isExt(head)) {
        raw = head.mid(1024 + 120, 16);  // s_volume_name, zero-padded
        raw.truncate(raw.indexOf('\0') < 0 ? raw.size() : raw.indexOf('\0'));
    } else if (const int at = fatFacts(head); at >= 0) {
        raw = head.mid(at + 4, 11).trimmed();  // blank-padded
        if (raw == "NO NAME") raw.clear();
    }
    return QString::fromUtf8(raw).trimmed();
}

QStringList SystemVolumeFacts::mountPoints() const {
    // Carriers are file systems on block devices; pseudo file systems and
    // network shares have none.
    QStringList out;
    for (const QStorageInfo& s : QStorageInfo::mountedVolumes()) {
        if (!s.isValid() || !s.device().startsWith("/dev/")) continue;
        if (!QFileInfo(s.rootPath()).isDir() || out.contains(s.rootPath())) continue;
        out.append(s.rootPath());
    }
    return out;
}

std::optional<VolumeFacts> SystemVolumeFacts::factsOf(const QString& mountPoint) const {
    const QString root = cleanRoot(mountPoint);
    QStorageInfo s(root);
    if (!s.isValid() || !s.isReady() || cleanRoot(s.rootPath()) != root) return std::nullopt;
    VolumeFacts f;
    f.mountPoint = root;
    f.label = s.name();
    f.fileSystem = QString::fromLatin1(s.fileSystemType());
    f.totalBytes = s.bytesTotal();
    f.freeBytes = s.bytesFree();
    const QString device = canonicalDevice(s.device());
    f.uuid = uuidFromLinks(device);
    if (f.uuid.isEmpty() || f.label.isEmpty()) {
        const QByteArray head = deviceHeader(device);
        if (f.uuid.isEmpty()) f.uuid = uuidFromHeader(head);
        if (f.label.isEmpty()) f.label = labelFromHeader(head);
    }
    f.model = modelOf(device);
    return f;
}

CarrierCount SystemVolumeFacts::count(const QString& mountPoint) const {
    CarrierCount c;
    const QByteArray root = QFile::encodeName(cleanRoot(mountPoint));
    struct stat s {};
    if (::stat(root.constData(), &s) != 0 || !S_ISDIR(s.st_mode)) return c;
    std::vector<ino_t> descent{s.st_ino};
    countDirectory(root, s.st_dev, descent, c);
    return c;
}

VolumeFactsProvider& volumeFactsProvider() {
    static SystemVolumeFacts system;
    return g_provider ? *g_provider : system;
}

void setVolumeFactsProvider(VolumeFactsProvider* provider) {
    g_provider = provider;
}

std::optional<VolumeFacts> factsAfterReading(const QString& root, int entry, const QDateTime& at,
                                             VolumeFactsProvider& provider) {
    std::optional<VolumeFacts> f = provider.factsOf(root);
    if (!f) return std::nullopt;
    const CarrierCount c = provider.count(root);
    f->entry = entry;
    f->readAt = at;
    f->files = c.files;
    f->fileBytes = c.bytes;
    return f;
}

}  // namespace qv

namespace qv {

void recordVolumeAfterReading(const QString& programDir, int entry, const QString& root,
                              VolumeFactsProvider& provider) {
    const std::optional<VolumeFacts> f =
        factsAfterReading(root, entry, QDateTime::currentDateTime(), provider);
    if (f)
        storeVolumeFacts(programDir, *f);
    else
        removeVolumeFacts(programDir, entry);
}

}  // namespace qv
