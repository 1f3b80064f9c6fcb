#include "catalogue/cataloguesession.h"

#include "catalogue/dm.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"

namespace qv {

CatalogueSession::CatalogueSession(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("CatalogueSession"));
    for (int i = 0; i < kCatalogueTableCount; ++i) {
        m_views[i] = new TDataSource(this);
        m_views[i]->setObjectName(QStringLiteral("DataSource%1").arg(i + 1));
        m_apollos[i] = new TApollo(m_views[i], this);
        m_apollos[i]->setObjectName(QStringLiteral("Apollo%1").arg(i + 1));
    }
}

CatalogueSession::CatalogueSession(TDM& dm, QObject* parent) : CatalogueSession(parent) {
    bind(dm);
}

CatalogueSession::~CatalogueSession() = default;

void CatalogueSession::bind(TDM& dm) {
    m_dm = &dm;
    for (CatalogueTable t : kTableOrder)
        view(t).setDataSet(&dm.table(t));
}

TTable& CatalogueSession::table(CatalogueTable t) const {
    return m_dm->table(t);
}

void CatalogueSession::detach(CatalogueTable t) {
    bool& d = m_detached[indexOf(t)];
    if (d) return;
    view(t).DisableControls();
    d = true;
}

void CatalogueSession::detachAll() {
    for (CatalogueTable t : kTableOrder)
        detach(t);
}

void CatalogueSession::reattach() {
    for (CatalogueTable t : kTableOrder) {
        bool& d = m_detached[indexOf(t)];
        if (!d) continue;
        d = false;
        view(t).EnableControls();
    }
}

int CatalogueSession::highestEntryNumber() const {
    xb::Table* t = table(CatalogueTable::Entries).engine();
    if (!t) throw Error(ErrorCode::State, "Die Eintragstabelle ist nicht geöffnet");
    const int field = t->fieldIndex("EINDEUTIG");
    int highest = 0;
    // Tag `eindeutig` holds only non-deleted entries, highest number last.
    t->index().walkTagUnfiltered(tagPosition(CatalogueTable::Entries, QStringLiteral("eindeutig")),
                                 true, [&](std::uint32_t recno) {
                                     std::string rec(t->recordLength(), ' ');
                                     t->readRecordAt(recno,
                                                     reinterpret_cast<std::uint8_t*>(rec.data()));
                                     if (rec[0] == '*') return true;
                                     const xb::FieldDesc& f = t->field(field);
                                     highest = std::atoi(rec.substr(f.offset, f.len).c_str());
                                     return false;
                                 });
    return highest;
}

void CatalogueSession::neuenummerinit() {
    m_counter = highestEntryNumber() + 1;
}

int CatalogueSession::neuenummer() {
    if (m_counter >= kHighestEntryNumber)
        throw Error(ErrorCode::Range,
                    "Es ist keine weitere Eintragsnummer frei (höchste Nummer 99999998 erreicht)");
    return ++m_counter;
}

void CatalogueSession::bringCounterPast(int n) {
    if (m_counter < n + 1) m_counter = n + 1;
}

void CatalogueSession::setSearchActive(bool on) {
    if (on == m_searchActive) return;
    m_searchActive = on;
    emit searchActiveChanged(on);
}

int tagPosition(CatalogueTable t, const QString& name) {
    const CatalogueTableDef& def = catalogueTable(t);
    for (qsizetype i = 0; i < def.tags.size(); ++i)
        if (def.tags[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<int>(i) + 1;
    throw Error(ErrorCode::NotFound, "Der Index " + name.toStdString() + " der Tabelle " +
                                         def.dataFile.toStdString() + " ist nicht bekannt");
}

}  // namespace qv
