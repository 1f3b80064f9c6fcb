#include "catalogue/dm.h"

#include <QDir>

#include "catalogue/cataloguelocation.h"
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

TTable* makeTable(QObject* owner, const char* name, qv::CatalogueTable t) {
    auto* table = new TTable(owner);
    table->setObjectName(QLatin1String(name));
    table->setTableType(TTable::kTableType);
    table->setTableName(qv::catalogueTable(t).tableName);
    table->setExclusive(true);
    table->setFieldDisplayDefs(qv::catalogueDisplayDefs(t));
    return table;
}

}  // namespace

TDM::TDM(const QString& programDir, QObject* parent) : QObject(parent) {
    using qv::CatalogueTable;
    setObjectName(QStringLiteral("DM"));
    // The table objects are named Table1 ... Table6 in the order of the tables.
    for (CatalogueTable t : qv::kTableOrder) {
        const QByteArray name = "Table" + QByteArray::number(qv::indexOf(t) + 1);
        m_tables[static_cast<std::size_t>(qv::indexOf(t))] = makeTable(this, name.constData(), t);
    }
    tbl_recherche2 = makeTable(this, "tbl_recherche2", CatalogueTable::Files);
    tbl_recherche2->setReadOnly(true);
    ApolloEnv = new TApolloEnv(this);
    TApolloEnv::setProgramDefaults();
    DMCreate(programDir);
}

void TDM::DMCreate(const QString& programDir) {
    m_programDir = programDir.isEmpty() ? qv::defaultProgramDirectory()
                                        : qv::withTrailingSeparator(programDir);
    for (TTable* t : m_tables)
        t->setDatabaseName(m_programDir);
    tbl_recherche2->setDatabaseName(m_programDir);
}

TTable& TDM::table(qv::CatalogueTable t) const {
    return *m_tables[static_cast<std::size_t>(qv::indexOf(t))];
}
