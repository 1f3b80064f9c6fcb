// Where the facts of mounted volumes come from: the system, or a provider of
// the tests' own.
//
// The system's provider takes label, file-system type, total and free bytes
// from QStorageInfo; the UUID from /dev/disk/by-uuid, or, where no device
// manager fills that folder, from the file system's own header on the device
// (ext2/3/4 UUID, FAT and NTFS serial), and the label from that header too
// when the system does not report one; the model from /sys/class/block. Only
// a volume's root counts as a volume: a directory inside one has no facts of
// its own, so a reading of such a directory stores none.
//
// Counting walks the volume as a reading does: dot directories and other
// file systems are not entered, symbolic links are not followed into
// directories, a link to a regular file counts with its target's size.
#pragma once

#include <QStringList>

#include <optional>

#include "volumes/core/volumefacts.h"

namespace qv {

class VolumeFactsProvider {
  public:
    virtual ~VolumeFactsProvider() = default;
    // The mount points of the volumes a carrier can be: file systems on
    // block devices.
    virtual QStringList mountPoints() const = 0;
    // The facts of the volume whose root is `mountPoint` (entry 0, no reading
    // time, no counts); nothing when no volume has its root there.
    virtual std::optional<VolumeFacts> factsOf(const QString& mountPoint) const = 0;
    virtual CarrierCount count(const QString& mountPoint) const = 0;
};

class SystemVolumeFacts : public VolumeFactsProvider {
  public:
    QStringList mountPoints() const override;
    std::optional<VolumeFacts> factsOf(const QString& mountPoint) const override;
    CarrierCount count(const QString& mountPoint) const override;
};

// The provider the program and the tool use unless told otherwise; tests
// install their own (not owned; nullptr restores the system's).
VolumeFactsProvider& volumeFactsProvider();
void setVolumeFactsProvider(VolumeFactsProvider* provider);

// The UUID or serial in a file system's header (the first 64 KiB of the
// device): ext2/3/4 "xxxxxxxx-xxxx-...", FAT "XXXX-XXXX", NTFS 16 hex digits;
// empty for anything else.
QString uuidFromHeader(const QByteArray& head);
// The label in the same headers (ext2/3/4, FAT); empty for anything else or
// none. Where no device manager fills /dev/disk/by-label the system's own
// volume facts go without it.
QString labelFromHeader(const QByteArray& head);

// The facts of the volume at `root` with its files counted and the reading
// time `at`, for entry `entry`; nothing when `root` is no volume's root.
std::optional<VolumeFacts> factsAfterReading(const QString& root, int entry, const QDateTime& at,
                                             VolumeFactsProvider& provider = volumeFactsProvider());

}  // namespace qv

namespace qv {

// After a reading of `root` into entry `entry`: stores the volume's facts,
// or, when `root` is no volume's root, drops what was stored for the entry
// before (it would describe another carrier).
void recordVolumeAfterReading(const QString& programDir, int entry, const QString& root,
                              VolumeFactsProvider& provider = volumeFactsProvider());

}  // namespace qv
