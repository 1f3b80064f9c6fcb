// The window "Recherche in ALLEN Dateien": the file records of all entries in
// one list, by file name or by extension (two tabs), a search for the
// beginning of a name or an extension, and for the file under the cursor the
// entry (carrier) that holds it.
//
// The window is a thin shell over qv::FileSearch. run() opens the list (the
// file table's own table object must be closed, see qv::FileSearchTables),
// shows the window modally and closes the list again on every exit. Each
// showing starts on the tab " Bezeichnung " at the first file.
#pragma once

#include <QDialog>

#include <array>
#include <memory>

class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTabBar;
class QTimer;
class QToolButton;
class TApollo;
class TDataSource;

namespace qv {
class CatalogueSession;
class DbGrid;
class DbNavigator;
class FileSearch;
}  // namespace qv

// Object `recherche`.
class Trecherche : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kHelpTopic = 830;

    explicit Trecherche(qv::CatalogueSession& session, QWidget* parent = nullptr);
    ~Trecherche() override;

    // Opens the list, shows the window modally, closes the list. With
    // `fileRecord` the list starts on that file record (of the name order)
    // instead of the first file.
    void run(int fileRecord = 0);

    qv::FileSearch& search() const { return *m_search; }

    // The read-only view and its engine access object.
    TDataSource* DataSource1 = nullptr;
    TApollo* Apollo1 = nullptr;

    QToolButton* BtnSearch = nullptr;
    QToolButton* BtnHelp = nullptr;
    QToolButton* BtnClose = nullptr;
    QTabBar* TabControl1 = nullptr;
    qv::DbGrid* DBGrid1 = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label12 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    qv::DbNavigator* DBNavigator1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QMenuBar* MainMenu1 = nullptr;
    QMenu* PopupMenu1 = nullptr;

  public slots:
    // The steps of each showing.
    void FormShow();
    void TabControl1Change(int index);
    void BtnSearchClick();
    void BtnHelpClick();
    void BtnCloseClick();
    // The view's data change: the owning entry of the current file.
    void DataSource1DataChange();

  protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildWindow();
    void colourKeyColumns();

    std::unique_ptr<qv::FileSearch> m_search;
    QTimer* m_countAhead = nullptr;
    bool m_showing = false;
};
