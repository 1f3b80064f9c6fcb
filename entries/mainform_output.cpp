// The main window's output commands: label and list previews, print settings.
#include <QAction>
#include <QToolButton>

#include "entries/mainform.h"
#include "output/outputcommands.h"
#include "shell/command.h"
#include "shell/program.h"
#include "shell/wmessage.h"
#include "store/dm.h"

TMainForm::~TMainForm() = default;

qv::OutputCommands& TMainForm::output() {
    if (!m_output)
        m_output = std::make_unique<qv::OutputCommands>(this, [this] {
            return qv::OutputContext{m_program.settings(), m_program.wmessage(),
                                     *m_program.dm().Table1,
                                     qv::EntryListViews{*DataSource1, *DataSource2, *Apollo1}};
        });
    return *m_output;
}

void TMainForm::spbtetikettClick() {
    output().spbtetikettClick();
}

void TMainForm::spblisteClick() {
    output().spblisteClick();
}

void TMainForm::spdbtn_druck_einstellClick() {
    output().spdbtn_druck_einstellClick();
}

void TMainForm::connectOutputCommands() {
    auto bind = [this](const char* action, const char* button, void (TMainForm::*slot)()) {
        auto run = [this, slot] { (this->*slot)(); };
        if (auto* a = findChild<QAction*>(QLatin1String(action)))
            qv::connectCommand(a, &QAction::triggered, this, run);
        if (auto* b = findChild<QToolButton*>(QLatin1String(button)))
            qv::connectCommand(b, &QToolButton::clicked, this, run);
    };
    bind("VorschauEtikettendruck1", "spbtetikett", &TMainForm::spbtetikettClick);
    bind("VorschauListendruck1", "spbliste", &TMainForm::spblisteClick);
    bind("DruckerVorgaben1", "spdbtn_druck_einstell", &TMainForm::spdbtn_druck_einstellClick);
}
