// One run of the program: the settings list, the four objects that live for
// the whole run (main window, progress window, data module, intro window),
// the first activation of the main window and the end of the run.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "catalogue/settingslist.h"
#include "ui/cataloguestartup.h"
#include "ui/firstactivation.h"
#include "ui/lazywindow.h"

class QWidget;
class TDM;
class TIntroForm;
class TWmessage;
class Tinfobox;

namespace qv {

class CatalogueSession;

class Program {
  public:
    enum class State { Starting, Activating, Ready, Ended };

    // Builds one of the four objects created at start. The main window lives
    // in the entry management and is handed in by the program's main().
    struct Factories {
        std::function<std::unique_ptr<QWidget>(Program&)> mainForm;
        std::function<std::unique_ptr<TWmessage>()> wmessage;
        std::function<std::unique_ptr<TDM>(const QString& programDir)> dm;
        std::function<std::unique_ptr<TIntroForm>()> introForm;
    };
    // The shell's own factories; `mainForm` left empty.
    static Factories defaultFactories();

    // `programDir` empty: the program directory of this process (beside the
    // program file, or the user's data folder for an installed program).
    // Raises a qv::Error when that folder cannot be created.
    explicit Program(const QString& programDir = QString());
    // Destroys the main window, then releases the settings list without
    // writing it, then the other windows.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The program of this run (the one constructed last and still alive).
    static Program* current();

    // Program start: loads (or creates) the settings list before any window
    // exists, with every created-on-first-use window still uncreated; then
    // creates the main window, the progress window, the data module and the
    // intro window in this order. Raises a qv::Error when the settings list
    // cannot be loaded.
    void start(Factories factories);
    void start(std::function<std::unique_ptr<QWidget>(Program&)> mainForm);

    const QString& programDir() const { return m_programDir; }
    SettingsList& settings() { return m_settings; }
    QWidget* mainForm() const { return m_mainForm.get(); }
    TWmessage& wmessage() const { return *m_wmessage; }
    TDM& dm() const { return *m_dm; }
    TIntroForm& introForm() const { return *m_introForm; }
    // The catalogue session of the run: it exists from construction on (its
    // views unbound) and is bound to the data module as soon as start() has
    // made it, so the main window can take its views when it is built.
    CatalogueSession& session() const { return *m_session; }

    // The catalogue steps of the first activation (nothing to do until set).
    CatalogueStartup& catalogueStartup() { return *m_catalogue; }
    void setCatalogueStartup(std::unique_ptr<CatalogueStartup> c) { m_catalogue = std::move(c); }
    FirstActivation& firstActivation() { return m_firstActivation; }
    // The main window's activation: runs the first-activation steps the first
    // time, does nothing later. Returns whether the steps ran.
    bool activateMainForm();

    // The information window, created on its first use.
    LazyWindow<Tinfobox>& infobox() { return m_infobox; }
    // Opens it without blocking.
    void showInfobox();

    // Ends the run: hides the other windows and leaves the message loop. The
    // settings list is not written.
    void end();
    bool ended() const { return m_ended; }
    State state() const;
    // What end() does to leave the message loop (tests record it instead).
    void setQuitFunction(std::function<void()> quit) { m_quit = std::move(quit); }

  private:
    QString m_programDir;
    SettingsList m_settings;
    std::unique_ptr<QWidget> m_mainForm;
    std::unique_ptr<TWmessage> m_wmessage;
    std::unique_ptr<TDM> m_dm;
    std::unique_ptr<TIntroForm> m_introForm;
    std::unique_ptr<CatalogueSession> m_session;
    LazyWindow<Tinfobox> m_infobox;
    std::unique_ptr<CatalogueStartup> m_catalogue;
    FirstActivation m_firstActivation;
    std::function<void()> m_quit;
    bool m_ended = false;
    Program* m_previous = nullptr;
};

}  // namespace qv
