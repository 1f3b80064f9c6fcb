// The main window's commands of one feature: their handlers are bound here.
#include "entries/mainform.h"
#include "output/outputcommands.h"
#include "shell/command.h"
#include "shell/program.h"
#include "shell/wmessage.h"

void TMainForm::bindOutputCommands() {
    // Report forms, preview, print settings and the printer live with the
    // window until the program ends.
    auto* output = new qv::OutputCommands(this, [this] {
        using qv::CatalogTable;
        return qv::OutputContext{m_program.settings(), m_program.wmessage(),
                                 m_session.table(CatalogTable::Entries),
                                 qv::EntryListViews{m_session.view(CatalogTable::Entries),
                                                    m_session.view(CatalogTable::Files),
                                                    m_session.apollo(CatalogTable::Entries)}};
    });
    command(qv::MainCommand::LabelPreview).setHandler([output] { output->spbtetikettClick(); });
    command(qv::MainCommand::ListPreview).setHandler([output] { output->spblisteClick(); });
    command(qv::MainCommand::PrintSettings).setHandler([output] {
        output->spdbtn_druck_einstellClick();
    });
}
