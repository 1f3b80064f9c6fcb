// The main window: menu bar, tool bar, the entry list's context menu and the
// status bar with the two counters and record navigators. The entry list and
// the lower panel take the central area.
#pragma once

#include <QMainWindow>

#include <memory>

#include "store/catalogueaccess.h"

class QLabel;
class QMenu;
class QToolButton;
class TApollo;
class TDataSource;

namespace qv {
class CatalogueStartup;
class DbNavigator;
class IntroDisplay;
class OutputCommands;
class Program;
}  // namespace qv

// Object `MainForm`.
class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    explicit TMainForm(qv::Program& program, QWidget* parent = nullptr);
    ~TMainForm() override;

    qv::Program& program() const { return m_program; }
    // The entry counters' starting state: count afresh, no search result.
    bool countAfresh() const { return m_countAfresh; }
    bool searchActive() const { return m_searchActive; }

    QMenu* popupMenu() const { return PopupMenu1; }
    // The area where the entry list and the lower panel go.
    QWidget* entryArea() const { return m_entryArea; }

    // The views and engine access objects of the six tables (entry, file,
    // extension, category, carrier-type, address table), bound to the data
    // module's tables once the catalogue steps are made.
    qv::CatalogueAccess& catalogue() { return m_catalogue; }
    TDataSource* DataSource1 = nullptr;
    TDataSource* DataSource2 = nullptr;
    TDataSource* DataSource3 = nullptr;
    TDataSource* DataSource4 = nullptr;
    TDataSource* DataSource5 = nullptr;
    TDataSource* DataSource6 = nullptr;
    TApollo* Apollo1 = nullptr;
    TApollo* Apollo2 = nullptr;
    TApollo* Apollo3 = nullptr;
    TApollo* Apollo4 = nullptr;
    TApollo* Apollo5 = nullptr;
    TApollo* Apollo6 = nullptr;

    // The catalogue's steps of the first activation, made by this window on
    // the program's data module (which must exist).
    std::unique_ptr<qv::CatalogueStartup> makeCatalogueStartup();

    // The start-up check with its progress on `intro`; the entry and file
    // views stay detached until the caller re-attaches them. A table that
    // cannot be created shows its "Abbruch" message and ends the program;
    // then the result is false.
    bool sys_init(qv::IntroDisplay& intro);
    // The entry-number counter from the highest entry number in tag
    // `eindeutig` (an empty table counts as 0): that number plus 1. The entry
    // table's tag and record stay as they were.
    void neuenummerinit();
    int nummernZaehler() const { return m_nummernZaehler; }

  public slots:
    // Runs the first-activation steps the first time; later activations do
    // nothing.
    void FormActivate();
    // Exit: the tool button, "&Datei" / "&Beenden".
    void SpeedButton7Click();
    void Beenden1Click();
    // "?" / "&Hilfe": help topic 100, then the window is repainted.
    void Hilfe1Click();
    // "&über QV-TESSARIN" (main and context menu): the information window.
    void ueberQVTESSARIN1Click();
    // A click on the status bar outside its controls.
    void StatusBar1Click();
    // "&Datei" / "&Reorganistation": asks, compacts the tables, builds every
    // index anew, says so and ends the program.
    void Reorganistation1Click();
    // "&Ausgabe" / "Vorschau - &Etikettendruck" and the tool button: the
    // print dialog, then the label preview.
    void spbtetikettClick();
    // "&Ausgabe" / "Vorschau - &Listendruck" and the tool button.
    void spblisteClick();
    // "&Parameter" / "Drucker - &Vorgaben" and the tool button.
    void spdbtn_druck_einstellClick();

  public:
    // The output commands (report forms, preview, print settings, printer).
    qv::OutputCommands& output();

  protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QMenu* createPopupMenu() override;

  private:
    void buildMenus();
    void buildToolBar();
    void buildStatusBar();
    void buildEntryArea();
    // Binds the views to the data module's tables (once).
    void bindDataModule();
    // Shows a creation failure of the start-up check and ends the program.
    void fatalMessage(const QString& text);
    // Binds the output commands to their menu items and tool buttons.
    void connectOutputCommands();

    qv::Program& m_program;
    qv::CatalogueAccess m_catalogue;
    int m_nummernZaehler = 0;
    bool m_countAfresh = true;
    bool m_searchActive = false;
    bool m_centred = false;
    std::unique_ptr<qv::OutputCommands> m_output;

    QMenu* PopupMenu1 = nullptr;
    QWidget* m_entryArea = nullptr;
    QLabel* labelanzahl = nullptr;
    qv::DbNavigator* DBNavigator1 = nullptr;
    QLabel* labelanzahl2 = nullptr;
    qv::DbNavigator* DBNavigator2 = nullptr;
};
