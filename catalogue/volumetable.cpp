#include "catalogue/volumetable.h"

#include <QFile>
#include <QFileInfo>

#include "catalogue/cataloguecheck.h"
#include "store/tables/cataloguetables.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

namespace {

std::string local(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString fileIn(const QString& dir, std::string_view name) {
    return dir + QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

bool indexUsable(xb::Table& t) {
    const auto& tags = tables::kVolumeLayout.tags;
    if (t.index().tagCount() != static_cast<int>(tags.size())) return false;
    for (std::size_t i = 0; i < tags.size(); ++i)
        if (t.index().tagPosition(tags[i].name) != static_cast<int>(i) + 1) return false;
    return t.index().indexFaults().empty();
}

}  // namespace

QString volumeTablePath(const QString& programDir) {
    return fileIn(programDir, tables::kVolumeLayout.dataFile);
}

QString volumeIndexPath(const QString& programDir) {
    return fileIn(programDir, tables::kVolumeLayout.indexFile);
}

void checkVolumeTable(const QString& programDir, xb::Env& env) {
    const QString data = volumeTablePath(programDir);
    const QString index = volumeIndexPath(programDir);
    if (!QFileInfo::exists(data)) {
        removeCatalogueFile(index);
        try {
            tables::createTable(tables::kVolumeLayout, local(data), env);
        } catch (...) {
            // A table that could not be made whole (a full disk) is not
            // left half-written; the next check makes it again.
            try {
                env.remove(local(data));
            } catch (...) {
            }
            throw;
        }
    }
    std::unique_ptr<xb::Table> t;
    try {
        t = xb::Table::open(local(data));
    } catch (const Error& e) {
        if (e.code() != ErrorCode::Corrupt || !QFileInfo::exists(index)) throw;
        removeCatalogueFile(index);
        t = xb::Table::open(local(data));
    }
    if (t->index().hasIndex() && indexUsable(*t)) return;
    if (t->index().hasIndex()) {
        t->close();
        removeCatalogueFile(index);
        t = xb::Table::open(local(data));
    }
    tables::createTags(*t, tables::kVolumeLayout);
    t->close();
}

void packVolumeTable(const QString& programDir) {
    const QString data = volumeTablePath(programDir);
    removeCatalogueFile(volumeIndexPath(programDir));
    if (!QFileInfo::exists(data)) return;
    auto t = xb::Table::open(local(data));
    t->pack();
    t->close();
}

std::unique_ptr<xb::Table> openVolumeTable(const QString& programDir) {
    const QString data = volumeTablePath(programDir);
    if (!QFileInfo::exists(data) || !QFileInfo::exists(volumeIndexPath(programDir)))
        checkVolumeTable(programDir);
    auto t = xb::Table::open(local(data));
    t->index().setOrder(1);
    return t;
}

}  // namespace qv
