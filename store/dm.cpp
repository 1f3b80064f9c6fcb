#include "store/dm.h"

#include <QDir>

#include "store/cataloguelocation.h"
#include "store/tapolloenv.h"
#include "store/ttable.h"

namespace qv {

QString withTrailingSeparator(const QString& dir) {
    QString abs = QDir::cleanPath(QDir(dir).absolutePath());
    if (!abs.endsWith(QLatin1Char('/'))) abs += QLatin1Char('/');
    return abs;
}

QString defaultProgramDirectory() {
    return catalogueDirectory(programFileDirectory(), userDataDirectory());
}

}  // namespace qv

namespace {

TTable* makeTable(QObject* owner, const char* name, qv::CatalogTable t) {
    auto* table = new TTable(owner);
    table->setObjectName(QLatin1String(name));
    table->setTableType(TTable::kTableType);
    table->setTableName(qv::catalogTable(t).tableName);
    table->setExclusive(true);
    table->setFieldDisplayDefs(qv::catalogDisplayDefs(t));
    return table;
}

}  // namespace

TDM::TDM(const QString& programDir, QObject* parent) : QObject(parent) {
    using qv::CatalogTable;
    setObjectName(QStringLiteral("DM"));
    Table1 = makeTable(this, "Table1", CatalogTable::Entries);
    Table2 = makeTable(this, "Table2", CatalogTable::Files);
    Table3 = makeTable(this, "Table3", CatalogTable::Extensions);
    Table4 = makeTable(this, "Table4", CatalogTable::Categories);
    Table5 = makeTable(this, "Table5", CatalogTable::CarrierTypes);
    Table6 = makeTable(this, "Table6", CatalogTable::Addresses);
    tbl_recherche2 = makeTable(this, "tbl_recherche2", CatalogTable::Files);
    tbl_recherche2->setReadOnly(true);
    ApolloEnv = new TApolloEnv(this);
    TApolloEnv::setProgramDefaults();
    DMCreate(programDir);
}

void TDM::DMCreate(const QString& programDir) {
    m_programDir = programDir.isEmpty() ? qv::defaultProgramDirectory()
                                        : qv::withTrailingSeparator(programDir);
    for (TTable* t : {Table1, Table2, Table3, Table4, Table5, Table6, tbl_recherche2})
        t->setDatabaseName(m_programDir);
}

TTable& TDM::table(qv::CatalogTable t) const {
    TTable* const tables[] = {Table1, Table2, Table3, Table4, Table5, Table6};
    return *tables[qv::indexOf(t)];
}
