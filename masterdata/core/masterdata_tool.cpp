#include "masterdata/core/masterdata_tool.h"

#include <ostream>
#include <string>
#include <vector>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/qvdb.h"
#include "catalogue/settingslist.h"
#include "masterdata/core/statusnamelist.h"
#include "store/conversion.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "store/xbase/error.h"
#include "store/xbase/settings.h"

namespace qv {

namespace {

using Args = std::vector<std::string>;

int statusNamesCommand(const Args& args, std::ostream& out) {
    if (args.size() != 1 && args.size() != 1 + kStatusNameCount)
        throw Error(ErrorCode::InvalidArgument,
                    "Aufruf: qvdb status-names VERZEICHNIS [zwölf Namen]");
    SettingsList list;
    list.load(QString::fromStdString(args[0]));
    if (args.size() > 1) {
        QStringList names;
        for (std::size_t i = 1; i < args.size(); ++i)
            names << QString::fromStdString(args[i]);
        saveStatusNames(list, names);
    }
    for (const QString& name : statusNames(list))
        out << name.toStdString() << '\n';
    return 0;
}

}  // namespace

void addMasterdataToolCommands() {
    qvdb::addCommand({"status-names", "status-names VERZEICHNIS [zwölf Namen]",
                      [](const Args& args, std::istream&, std::ostream& out, std::ostream&) {
                          return statusNamesCommand(args, out);
                      }});
}

}  // namespace qv
