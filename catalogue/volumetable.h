// The volume table `_qvvol.dbf` beside the six catalogue tables (layout in
// store/tables): what was seen of each entry's carrier at its last reading.
// The program opens it only for the moment it reads or writes a record, so
// the six tables' opening, orders and files stay as they are.
//
// The start-up check makes it when it is missing (a catalogue made before
// it opens unchanged) and builds its index file when that is missing or
// cannot be used; the reorganisation packs it after the six.
#pragma once

#include <QString>

#include <memory>

#include "store/xbase/env.h"

namespace xb {
class Table;
}

namespace qv {

// The data and index file of the volume table in `programDir` (with its
// trailing separator).
QString volumeTablePath(const QString& programDir);
QString volumeIndexPath(const QString& programDir);

// Creates the table when its data file is missing (discarding an index file
// without its table; a creation that fails leaves no file) and builds its
// index when missing or unusable.
void checkVolumeTable(const QString& programDir, xb::Env& env = xb::Env::posix());

// Packs the table in record order; its index file is deleted first, so the
// next check builds it anew. A missing table is left missing.
void packVolumeTable(const QString& programDir);

// The table opened exclusively with its index, made first when missing.
std::unique_ptr<xb::Table> openVolumeTable(const QString& programDir);

}  // namespace qv
