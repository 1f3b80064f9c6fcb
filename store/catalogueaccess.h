// The views and engine access objects of the six catalogue tables, one of
// each per table: the main window's `DataSource1` ... `DataSource6` and
// `Apollo1` ... `Apollo6`, and the store tool's own set. The start-up check
// builds indexes and the reorganisation packs through them.
#pragma once

#include <QObject>

#include <array>
#include <memory>

#include "store/catalogschema.h"

class TApollo;
class TDataSource;
class TDM;

namespace qv {

class CatalogueAccess {
  public:
    // Views and access objects named DataSource1 ... and Apollo1 ..., children
    // of `owner` (owned here when it is nullptr), not yet bound to a table.
    explicit CatalogueAccess(QObject* owner = nullptr);
    // The same, bound to the data module's tables at once.
    explicit CatalogueAccess(TDM& dm, QObject* owner = nullptr);
    ~CatalogueAccess();
    CatalogueAccess(const CatalogueAccess&) = delete;
    CatalogueAccess& operator=(const CatalogueAccess&) = delete;

    // Binds view i to the table object Table<i> of `dm`.
    void bind(TDM& dm);
    bool bound() const;

    TDataSource& view(CatalogTable t) const { return *m_views[indexOf(t)]; }
    TApollo& apollo(CatalogTable t) const { return *m_apollos[indexOf(t)]; }

    // Detaches the controls bound to the table's view (suspends the view);
    // a view already detached here stays suspended once.
    void detach(CatalogTable t);
    void detachAll();
    // Re-attaches every view detached here.
    void reattach();
    bool detached(CatalogTable t) const { return m_detached[indexOf(t)]; }

  private:
    std::unique_ptr<QObject> m_ownedParent;
    std::array<TDataSource*, kCatalogTableCount> m_views{};
    std::array<TApollo*, kCatalogTableCount> m_apollos{};
    std::array<bool, kCatalogTableCount> m_detached{};
};

}  // namespace qv
