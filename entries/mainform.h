// The main window: menu bar, tool bar, the entry list in one of four orders,
// the lower panel for the entry under the cursor (files, additional text,
// status flags, lent to, borrowed from) and the status bar with the two
// counters and record navigators. Every command of the program starts here.
//
// The window works on the run's catalogue session: `DataSource1` (entries),
// `DataSource2` (files) and `DataSource6` (addresses) with their engine access
// objects `Apollo1`, `Apollo2`, `Apollo6`. Every change of the current entry
// or of its fields runs untenrefresh() for the lower tab shown.
//
// Commands. Each command of the menus, the context menu and the tool bar is
// one qv::Command (command(MainCommand)); a command without a handler stays
// disabled. Features set their handler with setHandler() when the window is
// built.
#pragma once

#include <QMainWindow>

#include <array>
#include <memory>

#include "entries/mainmenu.h"
#include "store/cataloguesession.h"

class QLabel;
class QMenu;
class QPlainTextEdit;
class QStackedWidget;
class QTabBar;
class QToolButton;
class QFrame;
class TApollo;
class TDataSource;

namespace qv {
class CatalogueStartup;
class Command;
class DbGrid;
class DbNavigator;
class IntroDisplay;
class Program;
}  // namespace qv

// Object `MainForm`.
class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    // The lower panel's tabs.
    enum LowerTab { TabFiles = 0, TabText = 1, TabStatus = 2, TabLentTo = 3, TabBorrowedFrom = 4 };

    explicit TMainForm(qv::Program& program, QWidget* parent = nullptr);
    ~TMainForm() override;

    qv::Program& program() const { return m_program; }
    qv::CatalogueSession& session() const { return m_session; }
    bool searchActive() const;

    QMenu* popupMenu() const { return PopupMenu1; }
    qv::Command& command(qv::MainCommand c) const { return *m_commands[static_cast<int>(c)]; }

    // The views and engine access objects of the six tables, from the session.
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

    // The window's parts, for the features that hang on them and for tests.
    qv::DbGrid* DBGrid1 = nullptr;
    qv::DbGrid* DBGrid2 = nullptr;
    QTabBar* TabControl1 = nullptr;
    QTabBar* TabControl2 = nullptr;
    QPlainTextEdit* DBMemo1 = nullptr;
    QFrame* PanelStatus = nullptr;
    std::array<QLabel*, 12> lbstat{};
    QFrame* Panelverleih = nullptr;
    QToolButton* panelverleihbtn1 = nullptr;
    QToolButton* BitBtn1 = nullptr;
    QLabel* labelanzahl = nullptr;
    QLabel* labelanzahl2 = nullptr;
    qv::DbNavigator* DBNavigator1 = nullptr;
    qv::DbNavigator* DBNavigator2 = nullptr;
    // The address labels of `Panelverleih`, by field name (VNAME ...).
    QLabel* addressLabel(const QString& field) const;

    // The catalogue's steps of the first activation, made by this window on
    // the program's data module (which must exist).
    std::unique_ptr<qv::CatalogueStartup> makeCatalogueStartup();

    // The start-up check with its progress on `intro`; the entry and file
    // views stay detached until the caller re-attaches them. A table that
    // cannot be created shows its "Abbruch" message and ends the program;
    // then the result is false.
    bool sys_init(qv::IntroDisplay& intro);
    // The entry-number counter (see CatalogueSession).
    void neuenummerinit();
    int neuenummer();
    int nummernZaehler() const;

    // Refreshes the counters and the lower panel for lower tab `tab`.
    void untenrefresh(int tab);

  public slots:
    void FormActivate();
    void SpeedButton7Click();
    void Beenden1Click();
    void Hilfe1Click();
    void ueberQVTESSARIN1Click();
    void StatusBar1Click();
    void Reorganistation1Click();
    // The order tabs and the lower tabs.
    void TabControl1Change(int index);
    void TabControl2Change(int index);
    // The entry view's data change: untenrefresh for the lower tab shown.
    void datasource1DataChange();

    // ---- the features' commands, each bound in its own file ----
    // entries/mainform_entries.cpp: new, copy, edit, additional text
    void bindEntryCommands();
    // Search check, then a new empty entry in the entry dialog.
    void Neuanlage();
    // Search check, then a copy of the current entry in the entry dialog.
    void Kopie();
    // The current entry in the entry dialog.
    void edit();
    // The current entry's additional text in its editor.
    void edittext();

  public:
    // The entry dialog and the additional-text editor, created on first use.
    class TGrunddatenEingabe& grunddatenEingabe();
    class TZusatztextEingabe& zusatztextEingabe();

  private:
    // False (with "Kein Datensatz vorhanden.") when the list shows no entry.
    bool requireCurrentEntry(const QString& caption);
    class TGrunddatenEingabe* m_grunddatenEingabe = nullptr;
    class TZusatztextEingabe* m_zusatztextEingabe = nullptr;

  public slots:

    // entries/mainform_reading.cpp: reading a carrier, releasing, deleting
    void bindReadingCommands();
    void SpeedButton5Click();           // "&Datenträger einlesen"
    void SpeedButton4Click();           // "&Löschen" of the entry
    void Dateizuordnunglschen1Click();  // "Dateizuordnung &löschen"

    // entries/mainform_query.cpp: the entry query and the statistics
    void bindQueryCommands();
    // The query button's click, shared by "&Suchabfrage starten": runs a
    // query, or resolves the one in force when the button was released.
    void speedbuttonAbfrageClick();
    void menusuche2Click();  // "&Alle Daten anzeigen"
    void suche();
    void suchereset();
    void DatentraegerAnzahl1Click();
    void EintraegejeStatus1Click();
    void EintraegejeKategorie1Click();
    // The windows, created on first use and kept.
    class TSuchabfrage& suchabfrage();
    class Tstatistik_status& statistikStatus();
    class TStat_kategorie& statKategorie();

    // entries/mainform_filesearch.cpp: the search in all files
    void bindFileSearchCommands();
    // The search in all files (F12): the file table handed to the window
    // while it is shown, the entry record and tag restored afterwards.
    void SpeedButton6Click();

    // entries/mainform_masterdata.cpp: lookup lists and status names
    void bindMasterdataCommands();
    void EinleseEndungen1Click();
    void Kategorien1Click();
    void DatentraegerArten1Click();
    void ProgrammStatus1Click();

    // entries/mainform_lending.cpp: addresses and the lending assignment
    void bindLendingCommands();
    void AdressenVerleih1Click();
    void panelverleihbtn1Click();
    void BitBtn1Click();

    // entries/mainform_output.cpp: labels, lists, print settings
    void bindOutputCommands();

    // entries/mainform_import.cpp: the import
    void bindImportCommands();
    // "&Import QV-Lindovar": the predecessor's table into the entry table.
    void ImportQVLindovar1Click();

  public:
    // The import dialog, created on first use.
    class TImport& importDialog();

  private:
    class TImport* m_import = nullptr;

  public slots:

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
    QWidget* buildAddressPanel();
    void bindCommands();
    void fatalMessage(const QString& text);
    void showFileCount(qint64 n);
    // Limits the file table to the current entry's files (its first tag,
    // scoped) and returns how many there are; -1 when a table is closed.
    qint64 scopeFileList();
    void refreshStatusPanel();
    void refreshMemo();
    void fillAddressPanel();
    void applyCounterLook();

    qv::Program& m_program;
    qv::CatalogueSession& m_session;
    std::array<qv::Command*, qv::kMainCommandCount> m_commands{};
    bool m_centred = false;
    bool m_statusListErrorShown = false;

    QMenu* PopupMenu1 = nullptr;
    QStackedWidget* m_lowerStack = nullptr;
    QWidget* m_addressPage = nullptr;
    QList<QPair<QString, QLabel*>> m_addressLabels;
};
