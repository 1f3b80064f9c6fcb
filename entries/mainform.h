// The main window: menu bar, tool bar, the entry list's context menu and the
// status bar with the two counters and record navigators. The entry list and
// the lower panel take the central area.
#pragma once

#include <QMainWindow>

class QLabel;
class QMenu;
class QToolButton;

namespace qv {
class DbNavigator;
class Program;
}  // namespace qv

// Object `MainForm`.
class TMainForm : public QMainWindow {
    Q_OBJECT

  public:
    explicit TMainForm(qv::Program& program, QWidget* parent = nullptr);

    qv::Program& program() const { return m_program; }
    // The entry counters' starting state: count afresh, no search result.
    bool countAfresh() const { return m_countAfresh; }
    bool searchActive() const { return m_searchActive; }

    QMenu* popupMenu() const { return PopupMenu1; }
    // The area where the entry list and the lower panel go.
    QWidget* entryArea() const { return m_entryArea; }

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

    qv::Program& m_program;
    bool m_countAfresh = true;
    bool m_searchActive = false;
    bool m_centred = false;

    QMenu* PopupMenu1 = nullptr;
    QWidget* m_entryArea = nullptr;
    QLabel* labelanzahl = nullptr;
    qv::DbNavigator* DBNavigator1 = nullptr;
    QLabel* labelanzahl2 = nullptr;
    qv::DbNavigator* DBNavigator2 = nullptr;
};
