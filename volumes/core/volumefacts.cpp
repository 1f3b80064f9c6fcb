#include "volumes/core/volumefacts.h"

#include <QFileInfo>
#include <QLocale>

#include "catalogue/cataloguesession.h"
#include "catalogue/volumetable.h"
#include "store/conversion.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

namespace {

// The key of an entry number in tag "volnumm": str(volnumm,8).
std::string numberKey(int entry) {
    return QStringLiteral("%1").arg(entry, 8).toStdString();
}

struct Columns {
    explicit Columns(const xb::Table& t)
        : number(t.fieldIndex("VOLNUMM")),
          label(t.fieldIndex("VOLNAME")),
          uuid(t.fieldIndex("VOLKENNUNG")),
          type(t.fieldIndex("VOLTYP")),
          total(t.fieldIndex("VOLGESAMT")),
          free(t.fieldIndex("VOLFREI")),
          model(t.fieldIndex("VOLMODELL")),
          date(t.fieldIndex("VOLDATUM")),
          time(t.fieldIndex("VOLZEIT")),
          files(t.fieldIndex("VOLDATEIEN")),
          bytes(t.fieldIndex("VOLBYTES")) {
        for (int i : {number, label, uuid, type, total, free, model, date, time, files, bytes})
            if (i < 0)
                throw Error(ErrorCode::NotFound,
                            "Der Tabelle " + t.path() + " fehlt ein Feld der Datenträgerdaten");
    }
    int number, label, uuid, type, total, free, model, date, time, files, bytes;
};

QString text(const xb::Table& t, int idx) {
    return trimmedRight(fromCp1252(t.raw(idx)));
}

VolumeFacts readRecord(const xb::Table& t, const Columns& c) {
    VolumeFacts f;
    f.entry = static_cast<int>(t.number(c.number));
    f.label = text(t, c.label);
    f.uuid = text(t, c.uuid);
    f.fileSystem = text(t, c.type);
    f.model = text(t, c.model);
    f.totalBytes = static_cast<qint64>(t.number(c.total));
    f.freeBytes = static_cast<qint64>(t.number(c.free));
    const std::int32_t day = t.date(c.date);
    if (day > 0)
        f.readAt = QDateTime(QDate::fromJulianDay(day),
                             QTime::fromString(text(t, c.time), QStringLiteral("HH:mm:ss")));
    f.files = static_cast<qint64>(t.number(c.files));
    f.fileBytes = static_cast<qint64>(t.number(c.bytes));
    return f;
}

void writeRecord(xb::Table& t, const Columns& c, const VolumeFacts& f) {
    t.replaceNumber(c.number, f.entry);
    t.replaceText(c.label, toCp1252(f.label));
    t.replaceText(c.uuid, toCp1252(f.uuid));
    t.replaceText(c.type, toCp1252(f.fileSystem));
    t.replaceNumber(c.total, static_cast<double>(f.totalBytes));
    t.replaceNumber(c.free, static_cast<double>(f.freeBytes));
    t.replaceText(c.model, toCp1252(f.model));
    if (f.readAt.isValid()) {
        t.replaceDate(c.date, static_cast<std::int32_t>(f.readAt.date().toJulianDay()));
        t.replaceText(c.time, f.readAt.time().toString(QStringLiteral("HH:mm:ss")).toStdString());
    } else {
        t.replaceBlank(c.date);
        t.replaceBlank(c.time);
    }
    t.replaceNumber(c.files, static_cast<double>(f.files));
    t.replaceNumber(c.bytes, static_cast<double>(f.fileBytes));
}

// The candidate read last.
const VolumeFacts* latest(const QList<const VolumeFacts*>& candidates) {
    const VolumeFacts* best = nullptr;
    for (const VolumeFacts* f : candidates)
        if (!best || f->readAt > best->readAt) best = f;
    return best;
}

}  // namespace

QList<VolumeFacts> loadAllVolumeFacts(const QString& programDir) {
    // Looking changes nothing: a catalogue without the table has no facts.
    if (!QFileInfo::exists(volumeTablePath(programDir))) return {};
    auto t = openVolumeTable(programDir);
    const Columns c(*t);
    QList<VolumeFacts> out;
    for (t->goTop(); !t->eof(); t->skip())
        out.append(readRecord(*t, c));
    return out;
}

std::optional<VolumeFacts> loadVolumeFacts(const QString& programDir, int entry) {
    if (!QFileInfo::exists(volumeTablePath(programDir))) return std::nullopt;
    auto t = openVolumeTable(programDir);
    const Columns c(*t);
    if (!t->index().seek(numberKey(entry))) return std::nullopt;
    return readRecord(*t, c);
}

void storeVolumeFacts(const QString& programDir, const VolumeFacts& facts) {
    if (facts.entry < 1 || facts.entry > kHighestEntryNumber)
        throw Error(ErrorCode::Range,
                    QStringLiteral("%1 ist keine Eintragsnummer").arg(facts.entry).toStdString());
    auto t = openVolumeTable(programDir);
    const Columns c(*t);
    if (!t->index().seek(numberKey(facts.entry))) t->append();
    writeRecord(*t, c, facts);
    t->commitRecord();
    t->close();
}

bool removeVolumeFacts(const QString& programDir, int entry) {
    if (!QFileInfo::exists(volumeTablePath(programDir))) return false;
    auto t = openVolumeTable(programDir);
    bool any = false;
    // One record per entry is kept, but a second one would go as well.
    while (t->index().seek(numberKey(entry))) {
        t->deleteRecord();
        t->commitRecord();
        any = true;
    }
    t->close();
    return any;
}

VolumeMatch matchVolume(const QList<VolumeFacts>& stored, const VolumeFacts& mounted) {
    QList<const VolumeFacts*> candidates;
    if (!mounted.uuid.isEmpty()) {
        for (const VolumeFacts& f : stored)
            if (f.uuid.compare(mounted.uuid, Qt::CaseInsensitive) == 0) candidates.append(&f);
        if (const VolumeFacts* f = latest(candidates)) return {MatchKind::Uuid, *f};
    }
    if (mounted.label.isEmpty() || mounted.totalBytes <= 0) return {};
    for (const VolumeFacts& f : stored) {
        if (f.label != mounted.label || f.totalBytes != mounted.totalBytes) continue;
        // A stored UUID other than the volume's: another file system.
        if (!f.uuid.isEmpty() && !mounted.uuid.isEmpty()) continue;
        candidates.append(&f);
    }
    if (const VolumeFacts* f = latest(candidates)) return {MatchKind::LabelAndSize, *f};
    return {};
}

EntryHeading entryHeading(const CatalogueSession& session, int entry) {
    EntryHeading h;
    h.entry = entry;
    xb::Table* t = session.table(CatalogueTable::Entries).engine();
    if (!t) throw Error(ErrorCode::State, "Die Eintragstabelle ist nicht geöffnet");
    const xb::FieldDesc& number = t->field(t->fieldIndex("EINDEUTIG"));
    const xb::FieldDesc& title = t->field(t->fieldIndex("BEZEICH"));
    const xb::FieldDesc& box = t->field(t->fieldIndex("BOXNUMMER"));
    const xb::FieldDesc& disk = t->field(t->fieldIndex("DISKNUMMER"));
    std::string rec(t->recordLength(), ' ');
    auto field = [&rec](const xb::FieldDesc& f) { return rec.substr(f.offset, f.len); };
    // Tag `eindeutig` holds the non-deleted entries in number order.
    t->index().walkTagUnfiltered(tagPosition(CatalogueTable::Entries, QStringLiteral("eindeutig")), false,
                         [&](std::uint32_t recno) {
                             t->readRecordAt(recno, reinterpret_cast<std::uint8_t*>(rec.data()));
                             if (rec[0] == '*') return true;
                             const int n = std::atoi(field(number).c_str());
                             if (n < entry) return true;
                             if (n == entry) {
                                 h.recno = static_cast<int>(recno);
                                 h.title = trimmedRight(fromCp1252(field(title)));
                                 h.box = std::atoi(field(box).c_str());
                                 h.number = std::atoi(field(disk).c_str());
                             }
                             return false;
                         });
    return h;
}

QString byteText(qint64 bytes) {
    const QLocale german(QLocale::German, QLocale::Germany);
    return QStringLiteral("%1 (%2 Bytes)")
        .arg(german.formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat), german.toString(bytes));
}

QString lastReadText(const QDateTime& at) {
    if (!at.isValid()) return QStringLiteral("noch nicht eingelesen");
    return QStringLiteral("zuletzt eingelesen am %1 um %2")
        .arg(at.date().toString(QStringLiteral("dd.MM.yyyy")),
             at.time().toString(QStringLiteral("HH:mm")));
}

}  // namespace qv

namespace qv {

namespace {

QString shortSize(qint64 bytes) {
    return QLocale(QLocale::German, QLocale::Germany)
        .formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

}  // namespace

QString noticeName(const VolumeFacts& mounted) {
    return mounted.label.isEmpty() ? mounted.mountPoint : mounted.label;
}

QString knownNoticeText(const VolumeFacts& mounted, const EntryHeading& entry) {
    return QStringLiteral(
               "Datenträger „%1“ = Eintrag %2 (Box %3 / Nr. %4) – anzeigen / neu "
               "einlesen")
        .arg(noticeName(mounted))
        .arg(entry.entry)
        .arg(entry.box)
        .arg(entry.number);
}

QString unknownNoticeText(const VolumeFacts& mounted) {
    return QStringLiteral("Datenträger „%1“ – als neuen Eintrag anlegen und einlesen")
        .arg(noticeName(mounted));
}

QString changeText(const VolumeFacts& stored, const CarrierCount& now) {
    if (!carrierChanged(stored, now))
        return QStringLiteral("unverändert seit dem letzten Einlesen");
    QStringList parts;
    if (stored.files != now.files)
        parts << QStringLiteral("%1 statt %2 Dateien").arg(now.files).arg(stored.files);
    if (stored.fileBytes != now.bytes)
        parts
            << QStringLiteral("%1 statt %2").arg(shortSize(now.bytes), shortSize(stored.fileBytes));
    return QStringLiteral("geändert seit dem letzten Einlesen: ") +
           parts.join(QStringLiteral(", "));
}

}  // namespace qv
