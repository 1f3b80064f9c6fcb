#include "store/catalogueaccess.h"

#include "store/dm.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"

namespace qv {

CatalogueAccess::CatalogueAccess(QObject* owner) {
    if (!owner) {
        m_ownedParent = std::make_unique<QObject>();
        owner = m_ownedParent.get();
    }
    for (int i = 0; i < kCatalogTableCount; ++i) {
        m_views[i] = new TDataSource(owner);
        m_views[i]->setObjectName(QStringLiteral("DataSource%1").arg(i + 1));
        m_apollos[i] = new TApollo(m_views[i], owner);
        m_apollos[i]->setObjectName(QStringLiteral("Apollo%1").arg(i + 1));
    }
}

CatalogueAccess::CatalogueAccess(TDM& dm, QObject* owner) : CatalogueAccess(owner) {
    bind(dm);
}

CatalogueAccess::~CatalogueAccess() = default;

void CatalogueAccess::bind(TDM& dm) {
    for (CatalogTable t : kTableOrder)
        view(t).setDataSet(&dm.table(t));
}

bool CatalogueAccess::bound() const {
    return m_views[0]->DataSet() != nullptr;
}

void CatalogueAccess::detach(CatalogTable t) {
    bool& d = m_detached[indexOf(t)];
    if (d) return;
    view(t).DisableControls();
    d = true;
}

void CatalogueAccess::detachAll() {
    for (CatalogTable t : kTableOrder)
        detach(t);
}

void CatalogueAccess::reattach() {
    for (CatalogTable t : kTableOrder) {
        bool& d = m_detached[indexOf(t)];
        if (!d) continue;
        d = false;
        view(t).EnableControls();
    }
}

}  // namespace qv
