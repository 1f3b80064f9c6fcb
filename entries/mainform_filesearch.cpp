// The main window's commands of one feature: their handlers are bound here.
#include "entries/mainform.h"
#include "search/filesearch.h"
#include "search/recherche.h"
#include "shell/command.h"
#include "store/guards.h"

void TMainForm::bindFileSearchCommands() {
    command(qv::MainCommand::SearchAllFiles).setHandler([this] { SpeedButton6Click(); });
}

void TMainForm::SpeedButton6Click() {
    // Created on first use and kept until the program ends.
    auto* window = findChild<Trecherche*>(QString(), Qt::FindDirectChildrenOnly);
    if (!window) window = new Trecherche(m_session, this);
    // Unwound in reverse: the file table reopened in its first tag, the
    // entry record and tag restored, the file table scoped to the entry, the
    // file view resumed, then the entry view; on every exit, an error
    // included.
    qv::ScopedSuspend entries(*DataSource1);
    qv::ScopedSuspend files(*DataSource2);
    // The reopened file table is scoped to the entry before the file view
    // resumes: its list then shows the entry's files at once instead of
    // laying out the whole unscoped table first.
    struct Rescope {
        TMainForm& form;
        ~Rescope() {
            try {
                form.scopeFileList();
            } catch (...) {
            }
        }
    } rescope{*this};
    qv::ScopedPosition entry(*Apollo1);
    qv::FileSearchTables tables(m_session);
    window->run();
}
