#include "import/core/importtool.h"

#include <QFileInfo>

#include <ostream>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "import/core/importops.h"
#include "store/ttable.h"
#include "store/xbase/settings.h"

namespace qv {

int runImportTool(const std::vector<std::string>& args, std::istream&, std::ostream& out,
                  std::ostream& err) {
    if (args.size() != 2) {
        err << "Aufruf: qvdb import VERZEICHNIS QUELLE.dbf\n";
        return 1;
    }
    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(args[0]));
    CatalogueSession session(dm);
    TTable& entries = session.table(CatalogueTable::Entries);
    entries.Open();
    const QFileInfo file(QString::fromStdString(args[1]));
    TTable source;
    source.setDatabaseName(file.absolutePath());
    source.setTableName(file.fileName());
    source.setReadOnly(true);
    source.setExclusive(false);
    source.Open();
    const ImportResult r = importEntries(session, source);
    source.Close();
    entries.Close();
    if (r.imported > 0) out << "numbers\t" << r.firstNumber << '\t' << r.lastNumber << '\n';
    out << "imported\t" << r.imported << '\n';
    return 0;
}

}  // namespace qv
