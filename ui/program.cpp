#include "ui/program.h"

#include <QCoreApplication>
#include <QWidget>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "store/xbase/error.h"
#include "ui/helpwindow.h"
#include "ui/infobox.h"
#include "ui/introform.h"
#include "ui/windowutil.h"
#include "ui/wmessage.h"

namespace qv {

namespace {
Program*& currentProgram() {
    static Program* p = nullptr;
    return p;
}
}  // namespace

Program::Factories Program::defaultFactories() {
    Factories f;
    f.wmessage = [] { return std::make_unique<TWmessage>(); };
    f.dm = [](const QString& dir) { return std::make_unique<TDM>(dir); };
    f.introForm = [] { return std::make_unique<TIntroForm>(); };
    return f;
}

Program::Program(const QString& programDir)
    : m_programDir(programDir.isEmpty() ? defaultProgramDirectory()
                                        : withTrailingSeparator(programDir)),
      m_session(std::make_unique<CatalogueSession>()),
      m_catalogue(std::make_unique<NoCatalogueStartup>()),
      m_quit([] { QCoreApplication::quit(); }),
      m_previous(currentProgram()) {
    initShellResources();
    currentProgram() = this;
}

Program::~Program() {
    m_mainForm.reset();
    m_session.reset();
    m_settings.release();
    m_infobox.reset();
    m_introForm.reset();
    m_dm.reset();
    m_wmessage.reset();
    if (currentProgram() == this) currentProgram() = m_previous;
}

Program* Program::current() {
    return currentProgram();
}

void Program::start(std::function<std::unique_ptr<QWidget>(Program&)> mainForm) {
    Factories f = defaultFactories();
    f.mainForm = std::move(mainForm);
    start(std::move(f));
}

void Program::start(Factories f) {
    if (m_mainForm) throw Error(ErrorCode::State, "Das Programm ist bereits gestartet");
    // 1. The settings list before any window; created-on-first-use windows
    //    start uncreated.
    m_infobox.reset();
    m_settings.load(m_programDir);
    // 2. The application title is the constant kAppTitle.
    // 3. The four objects of the whole run, in this order.
    m_mainForm = f.mainForm(*this);
    m_wmessage = f.wmessage();
    m_dm = f.dm(m_programDir);
    m_session->bind(*m_dm);
    m_introForm = f.introForm();
}

bool Program::activateMainForm() {
    if (!m_introForm) return false;
    return m_firstActivation.run(*m_introForm, *m_catalogue);
}

void Program::showInfobox() {
    m_infobox.get().showInfo();
}

void Program::end() {
    m_ended = true;
    if (m_introForm) m_introForm->closeNow();
    if (m_wmessage) m_wmessage->closeProgress();
    if (Tinfobox* box = m_infobox.ifCreated()) box->hide();
    if (HelpWindow* help = helpWindowIfCreated()) help->hide();
    if (m_quit) m_quit();
}

Program::State Program::state() const {
    if (m_ended) return State::Ended;
    if (m_firstActivation.completed()) return State::Ready;
    if (m_firstActivation.running() || !m_firstActivation.pending()) return State::Activating;
    return State::Starting;
}

}  // namespace qv
