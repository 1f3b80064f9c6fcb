// The main window: menu bar, tool bar, the entry list in one of four orders,
// the lower panel for the entry under the cursor (files, additional text,
// status flags, lent to, borrowed from) and the status bar with the two
// counters and record navigators. Every command of the program starts here.
//
// The window works on the run's catalogue session: the entry, file and
// address views with their engine access objects. Every change of the
// current entry or of its fields runs untenrefresh() for the lower tab shown.
//
// The window is the host of the program's features (ui/feature.h). Each
// command of the menus, the context menu and the tool bar is one qv::Command
// of the command registry; a command without a handler stays disabled. The
// window handles only its own commands (reorganisation, end, help, about);
// the features bind the others when the window has been built. Its widgets
// are its own: tests find them by object name.
#pragma once

#include <QMainWindow>

#include <array>
#include <memory>

#include "catalogue/cataloguesession.h"
#include "ui/commandregistry.h"
#include "ui/feature.h"
#include "ui/mainmenu.h"

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
class TMainForm : public QMainWindow, public qv::MainWindowHost {
    Q_OBJECT

  public:
    // Builds the window and binds `features` to it (they live as long as
    // the window).
    TMainForm(qv::Program& program, qv::FeatureList features, QWidget* parent = nullptr);
    ~TMainForm() override;

    qv::Program& program() override { return m_program; }
    qv::CatalogueSession& session() override { return m_session; }
    qv::CatalogueSession& session() const { return m_session; }
    bool searchActive() const;

    QMenu* popupMenu() const { return m_registry->popupMenu(); }
    qv::Command& command(qv::MainCommand c) const { return m_registry->command(c); }

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

    // qv::MainWindowHost
    QWidget* window() override { return this; }
    qv::CommandRegistry& commands() override { return *m_registry; }
    int lowerTab() const override;
    void refreshLowerPanel() override;
    qint64 scopeFileList() override;
    void selectOrder(int index) override;
    void focusEntryList() override;
    bool showEntry(quint32 recno) override;
    int addLowerTab(const QString& caption, QWidget* page, std::function<void()> refresh) override;

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

  protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    QMenu* createPopupMenu() override;

  private:
    void buildStatusBar();
    void buildEntryArea();
    QWidget* buildAddressPanel();
    void bindOwnCommands();
    void fatalMessage(const QString& text);
    void showFileCount(qint64 n);
    void refreshStatusPanel();
    void refreshMemo();
    void fillAddressPanel();
    void applyCounterLook();

    qv::Program& m_program;
    qv::CatalogueSession& m_session;
    qv::CommandRegistry* m_registry = nullptr;
    qv::FeatureList m_features;
    bool m_centred = false;
    bool m_statusListErrorShown = false;

    // The views and engine access objects of the entry, file and address
    // tables, from the session.
    TDataSource* DataSource1 = nullptr;
    TDataSource* DataSource2 = nullptr;
    TDataSource* DataSource6 = nullptr;
    TApollo* Apollo1 = nullptr;
    TApollo* Apollo2 = nullptr;
    TApollo* Apollo6 = nullptr;

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
    QStackedWidget* m_lowerStack = nullptr;
    QWidget* m_addressPage = nullptr;
    QList<QPair<QString, QLabel*>> m_addressLabels;
    // The features' tabs behind the five, in tab order from index 5.
    struct ExtraTab {
        QWidget* page;
        std::function<void()> refresh;
    };
    QList<ExtraTab> m_extraTabs;
};
