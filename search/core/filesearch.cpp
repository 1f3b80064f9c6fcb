#include "search/core/filesearch.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "store/conversion.h"
#include "store/guards.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/table.h"

namespace qv {

namespace {

QString fieldText(TTable& t, const char* field) {
    return trimmedRight(t.FieldByName(QLatin1String(field)).AsString());
}

int entryTag() {
    static const int pos = tagPosition(CatalogueTable::Entries, QStringLiteral("eindeutig"));
    return pos;
}

}  // namespace

QString FileOwner::boxAndDisk() const {
    return found ? QStringLiteral("%1 / %2").arg(box).arg(disk) : QString();
}

FileSearch::FileSearch(CatalogueSession& session)
    : m_session(session),
      m_view(std::make_unique<TDataSource>(session.dm().tbl_recherche2)),
      m_apollo(std::make_unique<TApollo>(m_view.get())) {}

FileSearch::~FileSearch() = default;

TTable& FileSearch::table() const {
    return *m_session.dm().tbl_recherche2;
}

bool FileSearch::isOpen() const {
    return table().Active();
}

void FileSearch::open() {
    m_allEntries.clear();
    m_allEntriesRead = false;
    // The grid and the owner follow once, at the end.
    {
        ScopedSuspend quiet(*m_view);
        table().Open();
        m_countedSlices = {0, 0};
        setOrder(FileOrder::Name);
        if (m_session.table(CatalogueTable::Entries).Active()) {
            TApollo& entries = m_session.apollo(CatalogueTable::Entries);
            if (entries.sx_IndexOrd() != entryTag()) entries.sx_SetOrder(entryTag());
        }
    }
    if (m_parked) {
        m_parked = false;
        m_view->EnableControls();
    }
}

bool FileSearch::countAhead() {
    if (!isOpen()) return false;
    int& done = m_countedSlices[static_cast<std::size_t>(m_order)];
    if (done >= kCountSlices) return false;
    // Finding the record at a position counts every subtree of the tag
    // before it; each slice goes a little further, without moving.
    xb::Table* t = table().engine();
    const std::uint64_t n = t->count();
    ++done;
    if (n > 0)
        t->recnoAtOrderPosition(
            std::max<std::uint64_t>(1, n * static_cast<std::uint64_t>(done) / kCountSlices));
    return done < kCountSlices;
}

void FileSearch::close(bool parkView) {
    // A parked view stays suspended while the list is closed: the next
    // opening finds its grid with the same rows and reads them in place,
    // instead of the grid laying out millions of rows twice (none, then all
    // again).
    if (parkView && !m_parked && table().Active()) {
        m_view->DisableControls();
        m_parked = true;
    }
    table().Close();
    m_allEntries.clear();
    m_allEntriesRead = false;
}

void FileSearch::setOrder(FileOrder order) {
    m_order = order;
    ScopedSuspend quiet(*m_view);
    const QString tag =
        order == FileOrder::Name ? QStringLiteral("namealle") : QStringLiteral("endungalle");
    m_apollo->sx_SetOrder(tagPosition(CatalogueTable::Files, tag));
    m_apollo->sx_GoTop();
}

bool FileSearch::search(const QString& text) {
    const int recno = m_apollo->sx_RecNo();
    const bool found = m_apollo->sx_Seek(engineUpper(text));
    if (!found) m_apollo->sx_Go(recno);
    return found;
}

FileOwner FileSearch::owner() {
    FileOwner o;
    TTable& files = table();
    TTable& entries = m_session.table(CatalogueTable::Entries);
    if (!files.Active() || files.Eof() || !entries.Active()) return o;
    const QString key = m_apollo->sx_EvalString(QStringLiteral("str(dirnumm,8)"));
    TApollo& ea = m_session.apollo(CatalogueTable::Entries);
    if (ea.sx_IndexOrd() != entryTag()) ea.sx_SetOrder(entryTag());
    bool found = ea.sx_Seek(key);
    if (!found) {
        // An entry query may hide the owner: look past the subset.
        const xb::Table* e = entries.engine();
        if (e->queryActive() || e->filterActive()) {
            if (const std::uint32_t recno = entryRecordPastSubset(key.trimmed().toInt())) {
                ea.sx_Go(static_cast<int>(recno));
                found = !entries.Eof();
            }
        }
    }
    if (!found) return o;
    o.found = true;
    o.number = entries.FieldByName(QStringLiteral("eindeutig")).AsInteger();
    o.title = fieldText(entries, "bezeich");
    o.category = fieldText(entries, "kategorie");
    o.carrierType = fieldText(entries, "diskart");
    o.carriers = entries.FieldByName(QStringLiteral("progdsks")).AsInteger();
    o.box = entries.FieldByName(QStringLiteral("boxnummer")).AsInteger();
    o.disk = entries.FieldByName(QStringLiteral("disknummer")).AsInteger();
    return o;
}

std::uint32_t FileSearch::entryRecordPastSubset(int number) {
    if (!m_allEntriesRead) {
        // The entry table does not change while the list is open: read the
        // numbers of every non-deleted entry once, in number order.
        m_allEntriesRead = true;
        m_allEntries.clear();
        xb::Table* t = m_session.table(CatalogueTable::Entries).engine();
        const int field = t->fieldIndex("eindeutig");
        const xb::FieldDesc& f = t->field(field);
        std::string rec(t->recordLength(), ' ');
        t->walkTagUnfiltered(entryTag(), false, [&](std::uint32_t recno) {
            t->readRecordAt(recno, reinterpret_cast<std::uint8_t*>(rec.data()));
            if (rec[0] != '*')
                m_allEntries.emplace_back(std::atoi(rec.substr(f.offset, f.len).c_str()), recno);
            return true;
        });
    }
    const auto it =
        std::lower_bound(m_allEntries.begin(), m_allEntries.end(), number,
                         [](const std::pair<int, std::uint32_t>& e, int n) { return e.first < n; });
    return it != m_allEntries.end() && it->first == number ? it->second : 0;
}

std::vector<FileHit> FileSearch::rowsFromHere(int limit) {
    std::vector<FileHit> rows;
    TTable& files = table();
    for (int i = 0; i < limit && files.Active() && !files.Eof(); ++i) {
        if (i > 0) {
            m_apollo->sx_Skip(1);
            if (files.Eof()) break;
        }
        FileHit h;
        h.owner = files.FieldByName(QStringLiteral("dirnumm")).AsInteger();
        h.path = fieldText(files, "dirpfad");
        h.title = owner().title;
        rows.push_back(std::move(h));
    }
    return rows;
}

FileSearchTables::FileSearchTables(CatalogueSession& session) : m_session(session) {
    m_session.table(CatalogueTable::Files).Close();
}

FileSearchTables::~FileSearchTables() {
    try {
        m_session.dm().tbl_recherche2->Close();
    } catch (...) {
    }
    try {
        m_session.table(CatalogueTable::Files).Open();
        m_session.apollo(CatalogueTable::Files)
            .sx_SetOrder(tagPosition(CatalogueTable::Files, QStringLiteral("dirnumm")));
    } catch (...) {
    }
}

}  // namespace qv
