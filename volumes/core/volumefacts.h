// What the catalogue keeps of a carrier's volume: the facts seen at its last
// reading, one record per entry in the volume table (catalogue/volumetable.h),
// and how a mounted volume is matched against them.
//
// Matching. A mounted volume with a UUID (or serial) is the entry whose
// stored UUID is the same. Failing that, a volume with a label is the entry
// with the same label and the same total size, provided that entry's stored
// UUID does not contradict the volume's. A volume with neither UUID nor label
// matches nothing: it is never guessed. Among several candidates the one read
// last wins.
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

namespace qv {

class CatalogueSession;

struct VolumeFacts {
    int entry = 0;       // the entry number (VOLNUMM); 0 for a volume not yet stored
    QString mountPoint;  // where it is mounted now; not stored
    QString label;       // volume label, empty when it has none
    QString uuid;        // file-system UUID or serial, empty when unknown
    QString fileSystem;  // "ext4", "vfat", "iso9660" ...
    QString model;       // the device's model where the system reports it
    qint64 totalBytes = 0;
    qint64 freeBytes = 0;
    QDateTime readAt;      // local time of the reading
    qint64 files = 0;      // files on the volume
    qint64 fileBytes = 0;  // their total size
};

// Files and their total size on a volume, counted by the reading's rules.
struct CarrierCount {
    qint64 files = 0;
    qint64 bytes = 0;
};

// ---- the volume table of the catalogue in `programDir` ----
// Reading and removing leave a catalogue without the table as it is;
// storing makes the table first.

// Every stored record, in entry-number order.
QList<VolumeFacts> loadAllVolumeFacts(const QString& programDir);
std::optional<VolumeFacts> loadVolumeFacts(const QString& programDir, int entry);
// Replaces the record of `facts.entry`, or adds one; on disk when it returns.
void storeVolumeFacts(const QString& programDir, const VolumeFacts& facts);
// Deletes the record of `entry` (flagged; the reorganisation removes it).
// Returns whether there was one.
bool removeVolumeFacts(const QString& programDir, int entry);

// ---- matching ----

enum class MatchKind { None, Uuid, LabelAndSize };

struct VolumeMatch {
    MatchKind kind = MatchKind::None;
    VolumeFacts stored;  // the matching record
    explicit operator bool() const { return kind != MatchKind::None; }
};

VolumeMatch matchVolume(const QList<VolumeFacts>& stored, const VolumeFacts& mounted);

// Whether the carrier's files differ from what its record says.
inline bool carrierChanged(const VolumeFacts& stored, const CarrierCount& now) {
    return stored.files != now.files || stored.fileBytes != now.bytes;
}

// ---- the entry a record belongs to ----

struct EntryHeading {
    int entry = 0;
    int recno = 0;  // 0: no such entry (deleted or never made)
    QString title;
    int box = 0;
    int number = 0;
};

// The entry numbered `entry` in the session's entry table, read past any
// installed subset without moving the table.
EntryHeading entryHeading(const CatalogueSession& session, int entry);

// ---- texts ----

// "12,3 GB (13.207.918.592 Bytes)".
QString byteText(qint64 bytes);
// "zuletzt eingelesen am 08.12.2026 um 16:40".
QString lastReadText(const QDateTime& at);

}  // namespace qv

namespace qv {

// The status-bar notice for a mounted volume, as plain text: for a known
// one "Datenträger „NAME“ = Eintrag 57 (Box 3 / Nr. 7) – anzeigen / neu
// einlesen", for an unknown one "Datenträger „NAME“ – als neuen Eintrag
// anlegen und einlesen". NAME is the label, else the mount point.
QString noticeName(const VolumeFacts& mounted);
QString knownNoticeText(const VolumeFacts& mounted, const EntryHeading& entry);
QString unknownNoticeText(const VolumeFacts& mounted);
// What follows once the carrier has been counted: "unverändert seit dem
// letzten Einlesen", or "geändert seit dem letzten Einlesen: 12 statt 10
// Dateien, 1,2 MB statt 1,0 MB".
QString changeText(const VolumeFacts& stored, const CarrierCount& now);

}  // namespace qv
