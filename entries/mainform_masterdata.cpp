// The main window's commands of one feature: their handlers are bound here.
#include "entries/mainform.h"

#include <QTabBar>

#include "masterdata/addresswindow.h"
#include "masterdata/lookupwindows.h"
#include "masterdata/masterdatawindows.h"
#include "masterdata/statusnames.h"
#include "shell/command.h"
#include "shell/program.h"

void TMainForm::bindMasterdataCommands() {
    command(qv::MainCommand::Extensions).setHandler([this] { EinleseEndungen1Click(); });
    command(qv::MainCommand::Categories).setHandler([this] { Kategorien1Click(); });
    command(qv::MainCommand::CarrierTypes).setHandler([this] { DatentraegerArten1Click(); });
    command(qv::MainCommand::StatusNames).setHandler([this] { ProgrammStatus1Click(); });
}

void TMainForm::EinleseEndungen1Click() {
    qv::MasterdataWindows::of(m_session).endung(this).exec();
}

void TMainForm::Kategorien1Click() {
    qv::MasterdataWindows::of(m_session).katego(this).exec();
}

void TMainForm::DatentraegerArten1Click() {
    qv::MasterdataWindows::of(m_session).art(this).exec();
}

void TMainForm::ProgrammStatus1Click() {
    if (qv::MasterdataWindows::of(m_session).stat(m_program.settings(), this).exec() ==
        QDialog::Accepted)
        untenrefresh(TabControl2->currentIndex());
}
