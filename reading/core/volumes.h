// The drives a carrier can be read from: on this platform the mounted
// volumes. The reading dialog asks a provider for them at every showing, so
// that a medium inserted meanwhile appears; tests offer directories of their
// own through a provider of their own.
#pragma once

#include <QList>
#include <QString>

namespace qv {

struct Volume {
    QString mountPoint;  // the directory the volume is mounted on ("/media/usb")
    QString label;       // the volume label, empty when it has none
    bool removable = false;
    bool readOnly = false;

    // "label (mount point)", or the mount point alone.
    QString displayText() const;
};

class VolumeProvider {
  public:
    virtual ~VolumeProvider() = default;
    virtual QList<Volume> volumes() const = 0;
};

// The mounted volumes of the system: pseudo file systems and the system's
// own mounts (/proc, /sys, /dev, /run except /run/media, /boot, snaps) left
// out; read-only media (a CD) kept.
class SystemVolumes : public VolumeProvider {
  public:
    QList<Volume> volumes() const override;
};

// Whether a file system type is a pseudo one (no files to read) or the
// mount point one of the system's own.
bool isPseudoFileSystem(const QByteArray& type);
bool isSystemMountPoint(const QString& mountPoint);

// The mount point to preselect: `previous` when it is still offered, else
// the first removable volume, else "/" (or the first volume offered).
QString defaultVolume(const QList<Volume>& volumes, const QString& previous = QString());

}  // namespace qv
