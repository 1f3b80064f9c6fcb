#include "output/ui/outputfeature.h"

#include "catalogue/cataloguesession.h"
#include "output/ui/outputcommands.h"
#include "ui/command.h"
#include "ui/commandregistry.h"
#include "ui/program.h"
#include "ui/wmessage.h"

namespace qv {

void OutputFeature::bind(MainWindowHost& host) {
    // Report forms, preview, print settings and the printer live with the
    // window until the program ends.
    auto* output = new OutputCommands(host.window(), [&host] {
        CatalogueSession& s = host.session();
        return OutputContext{
            host.program().settings(), host.program().wmessage(), s.table(CatalogueTable::Entries),
            EntryListViews{s.view(CatalogueTable::Entries), s.view(CatalogueTable::Files),
                           s.apollo(CatalogueTable::Entries)}};
    });
    CommandRegistry& commands = host.commands();
    commands.command(MainCommand::LabelPreview).setHandler([output] {
        output->spbtetikettClick();
    });
    commands.command(MainCommand::ListPreview).setHandler([output] { output->spblisteClick(); });
    commands.command(MainCommand::PrintSettings).setHandler([output] {
        output->spdbtn_druck_einstellClick();
    });
}

}  // namespace qv
