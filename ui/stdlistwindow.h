// The list window every master-data table shares: a read-only grid over the
// table in one tag, a tool bar, the menus "&Datei" and "&Eintrag", a context
// menu, a navigator, and the commands search, change, new, delete, help and
// close. The extension, category, carrier-type and address windows derive
// from it and add their edit dialog, their table rules and what their close
// button hands back.
//
// The window has its own view `DataSourceStd` and engine access object
// `ApolloStd` on the data module's table object, so suspending its grid
// leaves the other windows' controls alone.
//
// Activation. FormActivate() runs once each time the window is shown (not
// when a box or the edit dialog over it closes); FormClose() runs on every
// way out (close button, menu, close box, Escape).
//
// Choosing mode. choose() shows the window modally with its close button
// captioned "&Übernahme" and sets "&Schließen" back on every exit; it returns
// true when the window was left through that button (the derived window has
// then stored its chosen value).
#pragma once

#include <QDialog>
#include <QString>

#include "catalogue/catalogueschema.h"
#include "masterdata/core/masterlist.h"

class QAction;
class QMenu;
class QMenuBar;
class QStatusBar;
class QToolBar;
class QToolButton;
class QVBoxLayout;
class TApollo;
class TDataSource;

namespace qv {

class CatalogueSession;
class Command;
class DbGrid;
class DbNavigator;

class TStdListWindow : public QDialog {
    Q_OBJECT

  public:
    struct Options {
        CatalogueTable table;
        QString caption;
        int helpTopic = 0;
        QString searchPrompt;
        QString searchHint;      // tool button "&Suchen"; empty: none
        QString searchMenuHint;  // menu item "&Suchen"; empty: none
        bool suspendWhileWriting = true;
    };

    TStdListWindow(CatalogueSession& session, Options options, QWidget* parent = nullptr);
    ~TStdListWindow() override;

    CatalogueSession& session() const { return m_session; }
    MasterList& list() { return m_list; }
    const Options& options() const { return m_options; }

    // Shows the window modally in choosing mode; true when it was left
    // through "&Übernahme".
    bool choose();

    TDataSource* DataSourceStd = nullptr;
    TApollo* ApolloStd = nullptr;

    QMenuBar* MainMenu1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolButton* BtnSearch = nullptr;
    QToolButton* BtnEdit = nullptr;
    QToolButton* BtnNeu = nullptr;
    QToolButton* BtnDelete = nullptr;
    QToolButton* BtnHelp = nullptr;
    QToolButton* BtnClose = nullptr;
    DbGrid* DBGrid1 = nullptr;
    DbNavigator* DBNavigator1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Schlieen1 = nullptr;

    Command& searchCommand() const { return *m_search; }
    Command& editCommand() const { return *m_edit; }
    Command& newCommand() const { return *m_new; }
    Command& deleteCommand() const { return *m_delete; }
    Command& helpCommand() const { return *m_help; }

  public slots:
    void BtnSearchClick();
    void BtnEditClick();
    void BtnNeuClick();
    void BtnDeleteClick();
    void BtnHelpClick();
    // The standard close button: closes the window, hands nothing back.
    virtual void BtnCloseClick();
    void Schlieen1Click();

  protected:
    // Runs the edit dialog, empty for a new record or filled from the
    // current one; on OK `values` holds the fields to write.
    virtual bool runEditDialog(bool isNew, FieldValues& values) = 0;
    // Writes a new record (the address window adds its number).
    virtual void appendRecord(const FieldValues& values);
    // Whether "Neu" may start (the address window checks its numbers).
    virtual bool mayCreate() { return true; }
    virtual void FormActivate();
    virtual void FormClose();

    // Widgets of the derived window above and below the list.
    void addAboveList(QWidget* w);
    void addBelowList(QWidget* w);
    void focusList();

    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  public:
    void done(int result) override;

  private:
    void buildMenus();
    void buildToolBar();
    QToolButton* toolButton(const QString& name, const QString& caption, const QString& hint);

    CatalogueSession& m_session;
    Options m_options;
    MasterList m_list;
    QVBoxLayout* m_body = nullptr;
    int m_listIndex = 0;
    Command* m_search = nullptr;
    Command* m_edit = nullptr;
    Command* m_new = nullptr;
    Command* m_delete = nullptr;
    Command* m_help = nullptr;
};

}  // namespace qv
