#include "masterdata/ui/masterdatacommands.h"

#include <QDialog>

#include "masterdata/ui/lookupwindows.h"
#include "masterdata/ui/masterdatawindows.h"
#include "masterdata/ui/statusnames.h"
#include "ui/command.h"
#include "ui/commandregistry.h"
#include "ui/program.h"

namespace qv {

void MasterdataCommands::bind(MainWindowHost& host) {
    m_host = &host;
    CommandRegistry& commands = host.commands();
    commands.command(MainCommand::Extensions).setHandler([this] { EinleseEndungen1Click(); });
    commands.command(MainCommand::Categories).setHandler([this] { Kategorien1Click(); });
    commands.command(MainCommand::CarrierTypes).setHandler([this] { DatentraegerArten1Click(); });
    commands.command(MainCommand::StatusNames).setHandler([this] { ProgrammStatus1Click(); });
}

void MasterdataCommands::EinleseEndungen1Click() {
    MasterdataWindows::of(m_host->session()).endung(m_host->window()).exec();
}

void MasterdataCommands::Kategorien1Click() {
    MasterdataWindows::of(m_host->session()).katego(m_host->window()).exec();
}

void MasterdataCommands::DatentraegerArten1Click() {
    MasterdataWindows::of(m_host->session()).art(m_host->window()).exec();
}

void MasterdataCommands::ProgrammStatus1Click() {
    if (MasterdataWindows::of(m_host->session())
            .stat(m_host->program().settings(), m_host->window())
            .exec() == QDialog::Accepted)
        m_host->refreshLowerPanel();
}

}  // namespace qv
