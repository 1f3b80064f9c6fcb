// The three statistics as operations on the catalogue session: the carrier
// count, the entries per status flag and the entries per category. Each
// walks the entry table once from its first entry to its end in the order
// and subset the main window's list presents (only the query's subset while
// one is in force), with the entry and file views suspended, shows its
// progress and leaves the entry table on the entry that was current before,
// also when it fails. The windows and the store tool run the same code;
// nothing here knows a widget.
#pragma once

#include <QString>

#include <array>
#include <utility>
#include <vector>

namespace qv {

class CatalogueSession;
class ProgressDisplay;

inline constexpr int kStatusFlagCount = 12;
// `anzahl` of the category table holds six digits.
inline constexpr int kCategoryCountMaximum = 999999;

// ---- carrier count ----
// The sum of `progdsks` over the listed entries.
qint64 countCarriers(CatalogueSession& session, ProgressDisplay& display);
// "Es sind <n> Datenträger vorhanden."
QString carrierCountMessage(qint64 carriers);

// ---- entries per status ----
struct StatusCounts {
    std::array<int, kStatusFlagCount> perFlag{};  // flag k at k - 1
    int read = 0;                                 // entries read
};
// Counts, per flag `prog01` ... `prog12`, the listed entries whose flag is
// anything but a blank.
StatusCounts countStatusFlags(CatalogueSession& session, ProgressDisplay& display);
// A status label: the name, ": " and the count right-aligned in 8 characters.
QString statusCountText(const QString& name, int count);

// ---- entries per category ----
// Opens the category table, sets every category's `anzahl` to 0 (committed),
// then adds 1 to `anzahl` of the category of each listed entry: the entry's
// `kategorie`, padded to its width and upper-cased with the engine's table,
// is sought as a whole key in tag `kategotag`; an entry whose category is
// not there changes nothing. A count stops at kCategoryCountMaximum. The
// category table stays open on its first category in tag `kategotag` for the
// caller to show, and closeCategoryTable() closes it; on an error it is
// closed before the error goes on. Returns the number of entries handled.
int countEntriesPerCategory(CatalogueSession& session, ProgressDisplay& display);
void closeCategoryTable(CatalogueSession& session);

// ---- storage per carrier type and per box ----
struct StorageUse {
    // The listed entries' file sizes summed per carrier type (`diskart`,
    // trimmed; types that differ only in case count together under the
    // first spelling met) in name order, and per box number in number order.
    std::vector<std::pair<QString, qint64>> perCarrierType;
    std::vector<std::pair<int, qint64>> perBox;
    qint64 total = 0;  // bytes
    qint64 files = 0;  // file records counted
};
// Reads the file table once (released records left out), then walks the
// listed entries. The file table is only read; its order and range stay.
StorageUse measureStorage(CatalogueSession& session, ProgressDisplay& display);
// "1,5 GB", "12 KB", "17 Bytes": a size as the chart shows it.
QString storageSizeText(qint64 bytes);

// Adds `qvdb stats` and `qvdb storage` to the store tool.
void addStatisticsToolCommand();

}  // namespace qv
