#include "lending/core/lending_tool.h"

#include <ostream>
#include <string>
#include <vector>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "catalogue/settingslist.h"
#include "lending/core/lending.h"
#include "store/conversion.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"

namespace qv {

namespace {

using Args = std::vector<std::string>;

int addressNext(const Args& args, std::ostream& out) {
    if (args.size() != 1)
        throw Error(ErrorCode::InvalidArgument, "Aufruf: qvdb address-next VERZEICHNIS");
    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(args[0]));
    CatalogueSession session(dm);
    session.table(CatalogueTable::Entries).Open();
    session.table(CatalogueTable::Addresses).Open();
    out << nextAddressNumber(session) << '\n';
    return 0;
}

int lend(const Args& args, std::ostream& out) {
    if (args.size() != 4 || (args[2] != "raus" && args[2] != "rein"))
        throw Error(ErrorCode::InvalidArgument,
                    "Aufruf: qvdb lend VERZEICHNIS EINTRAGSNUMMER raus|rein ADRESSNUMMER");
    const int entry = strToInt(QString::fromStdString(args[1]));
    const int address = strToInt(QString::fromStdString(args[3]));
    xb::SettingsGuard settings;
    TDM dm(QString::fromStdString(args[0]));
    CatalogueSession session(dm);
    session.table(CatalogueTable::Entries).Open();
    TApollo& apollo = session.apollo(CatalogueTable::Entries);
    apollo.sx_SetOrder(tagPosition(CatalogueTable::Entries, QStringLiteral("eindeutig")));
    if (!apollo.sx_Seek(QStringLiteral("%1").arg(entry, 8)))
        throw Error(ErrorCode::NotFound,
                    "Ein Eintrag mit der Nummer " + std::to_string(entry) + " ist nicht vorhanden");
    setLending(session, args[2] == "raus" ? LendingField::LentTo : LendingField::BorrowedFrom,
               address);
    session.table(CatalogueTable::Entries).Close();
    out << "ok\n";
    return 0;
}

}  // namespace

void addLendingToolCommands() {
    qvdb::addCommand({"address-next", "address-next VERZEICHNIS",
                      [](const Args& args, std::istream&, std::ostream& out, std::ostream&) {
                          return addressNext(args, out);
                      }});
    qvdb::addCommand({"lend", "lend VERZEICHNIS EINTRAGSNUMMER raus|rein ADRESSNUMMER",
                      [](const Args& args, std::istream&, std::ostream& out, std::ostream&) {
                          return lend(args, out);
                      }});
}

}  // namespace qv
