#include "statistics/core/statistics.h"

#include <QHash>
#include <QLocale>

#include <map>

#include "catalogue/cataloguesession.h"
#include "store/conversion.h"
#include "store/displays.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/coding.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"

namespace qv {

namespace {

QString carrierPhaseText() {
    return QStringLiteral("Statistik: Anzahl Datenträger wird berechnet .....");
}

// Calls `visit` for every entry the list shows, from its first to its end,
// with the entry and file views suspended; the entry table goes back to the
// entry that was current before on every exit. The file view resumes first
// and the entry view last, as the list expects.
template <class Visit>
void walkListedEntries(CatalogueSession& session, Visit&& visit) {
    ScopedSuspend entryView(session.view(CatalogueTable::Entries));
    ScopedSuspend fileView(session.view(CatalogueTable::Files));
    TTable& entries = session.table(CatalogueTable::Entries);
    ScopedPosition back(session.apollo(CatalogueTable::Entries));
    for (entries.First(); !entries.Eof(); entries.Next())
        visit(entries);
    back.restore();
}

TField statusField(TTable& entries, int k) {
    return entries.FieldByName(QStringLiteral("PROG%1").arg(k, 2, 10, QLatin1Char('0')));
}

}  // namespace

qint64 countCarriers(CatalogueSession& session, ProgressDisplay& display) {
    ScopedProgress progress(display);
    progress.phase(carrierPhaseText());
    TTable& entries = session.table(CatalogueTable::Entries);
    const TField carriers = entries.FieldByName(QStringLiteral("progdsks"));
    qint64 sum = 0;
    walkListedEntries(session, [&](TTable&) {
        sum += carriers.AsInteger();
        progress.detailLazy([&] { return QStringLiteral("Anzahl Datenträger: %1").arg(sum); });
    });
    return sum;
}

QString carrierCountMessage(qint64 carriers) {
    return QStringLiteral("Es sind %1 Datenträger vorhanden.").arg(carriers);
}

StatusCounts countStatusFlags(CatalogueSession& session, ProgressDisplay& display) {
    ScopedProgress progress(display);
    progress.phase(carrierPhaseText());
    TTable& entries = session.table(CatalogueTable::Entries);
    std::array<TField, kStatusFlagCount> flags;
    for (int k = 1; k <= kStatusFlagCount; ++k)
        flags[static_cast<std::size_t>(k - 1)] = statusField(entries, k);
    StatusCounts counts;
    const QString blank = QStringLiteral(" ");
    walkListedEntries(session, [&](TTable&) {
        ++counts.read;
        for (std::size_t i = 0; i < flags.size(); ++i)
            if (flags[i].AsString() != blank) ++counts.perFlag[i];
        progress.detailLazy([&] { return QStringLiteral("bisher gelesen: %1").arg(counts.read); });
    });
    return counts;
}

QString statusCountText(const QString& name, int count) {
    return name + QStringLiteral(": ") + QStringLiteral("%1").arg(count, 8);
}

int countEntriesPerCategory(CatalogueSession& session, ProgressDisplay& display) {
    ScopedProgress progress(display);
    progress.phase(QStringLiteral("Statistik: Anzahl Kategorie wird berechnet ....."),
                   QStringLiteral("Kategorien zurücksetzen"));
    TTable& categories = session.table(CatalogueTable::Categories);
    TApollo& catApollo = session.apollo(CatalogueTable::Categories);
    struct CloseOnError {
        CatalogueSession& s;
        bool armed = true;
        ~CloseOnError() {
            if (!armed) return;
            try {
                closeCategoryTable(s);
            } catch (...) {
                // The error that brought us here goes on.
            }
        }
    } closeOnError{session};
    categories.Open();
    ScopedSuspend categoryView(session.view(CatalogueTable::Categories));
    catApollo.sx_SetOrder(tagPosition(CatalogueTable::Categories, QStringLiteral("kategotag")));

    for (categories.First(); !categories.Eof(); categories.Next())
        catApollo.sx_Replace(QStringLiteral("anzahl"), TApollo::ReplaceInteger, 0);
    catApollo.sx_Commit();
    categories.First();

    TTable& entries = session.table(CatalogueTable::Entries);
    const TField category = entries.FieldByName(QStringLiteral("kategorie"));
    TField count = categories.FieldByName(QStringLiteral("anzahl"));
    int handled = 0;
    walkListedEntries(session, [&](TTable&) {
        if (catApollo.sx_Seek(engineUpper(category.AsString()))) {
            const int n = count.AsInteger();
            if (n < kCategoryCountMaximum) {
                ScopedEdit edit(categories);
                categories.Edit();
                count.setAsInteger(n + 1);
                edit.post();
            }
        }
        ++handled;
        progress.detailLazy([&] { return QStringLiteral("bearbeitet: %1").arg(handled); });
    });
    categories.First();
    closeOnError.armed = false;
    return handled;
}

void closeCategoryTable(CatalogueSession& session) {
    session.table(CatalogueTable::Categories).Close();
}

StorageUse measureStorage(CatalogueSession& session, ProgressDisplay& display) {
    ScopedProgress progress(display);
    progress.phase(QStringLiteral("Statistik: Speicherbelegung wird berechnet ....."));
    TTable& filesTable = session.table(CatalogueTable::Files);
    if (!filesTable.Active())
        throw Error(ErrorCode::State, "Die Tabelle der Dateien ist nicht geöffnet");
    filesTable.CheckBrowseMode();
    xb::Table& files = *filesTable.engine();
    const int numberField = files.fieldIndex("DIRNUMM");
    const int sizeField = files.fieldIndex("DIRSIZE");
    if (numberField < 0 || sizeField < 0)
        throw Error(ErrorCode::NotFound,
                    "Die Tabelle der Dateien hat kein Feld DIRNUMM oder DIRSIZE");
    const xb::FieldDesc& num = files.field(numberField);
    const xb::FieldDesc& size = files.field(sizeField);
    // Bytes and file count per entry number, from one pass in record order.
    QHash<int, std::pair<qint64, qint64>> perEntry;
    files.scanRecords([&](std::uint32_t, const std::uint8_t* rec) {
        const auto text = [rec](const xb::FieldDesc& f) {
            return std::string_view(reinterpret_cast<const char*>(rec) + f.offset, f.len);
        };
        if (rec[0] == '*') return;
        const int n = static_cast<int>(xb::parseNumber(text(num)));
        if (n == kReleasedEntryNumber) return;
        auto& slot = perEntry[n];
        slot.first += static_cast<qint64>(xb::parseNumber(text(size)));
        ++slot.second;
    });

    TTable& entries = session.table(CatalogueTable::Entries);
    const TField number = entries.FieldByName(QStringLiteral("eindeutig"));
    const TField type = entries.FieldByName(QStringLiteral("diskart"));
    const TField box = entries.FieldByName(QStringLiteral("boxnummer"));
    std::map<QString, std::pair<QString, qint64>> types;  // by upper-cased name
    std::map<int, qint64> boxes;
    StorageUse use;
    int read = 0;
    walkListedEntries(session, [&](TTable&) {
        const auto found = perEntry.constFind(number.AsInteger());
        const qint64 bytes = found == perEntry.constEnd() ? 0 : found->first;
        if (found != perEntry.constEnd()) use.files += found->second;
        const QString name = trimmedRight(type.AsString());
        auto& t = types[engineUpper(name)];
        if (t.first.isNull()) t.first = name;
        t.second += bytes;
        boxes[box.AsInteger()] += bytes;
        use.total += bytes;
        ++read;
        progress.detailLazy([&] { return QStringLiteral("bisher gelesen: %1").arg(read); });
    });
    for (const auto& [key, t] : types)
        use.perCarrierType.emplace_back(t.first, t.second);
    for (const auto& [b, bytes] : boxes)
        use.perBox.emplace_back(b, bytes);
    return use;
}

QString storageSizeText(qint64 bytes) {
    static const QLocale german(QLocale::German, QLocale::Germany);
    if (bytes < 1024) return QStringLiteral("%1 Bytes").arg(bytes);
    const char* units[] = {"KB", "MB", "GB", "TB"};
    double v = double(bytes) / 1024;
    int u = 0;
    while (v >= 1024 && u < 3) {
        v /= 1024;
        ++u;
    }
    return german.toString(v, 'f', v < 10 ? 1 : 0) + QLatin1Char(' ') + QLatin1String(units[u]);
}

}  // namespace qv
