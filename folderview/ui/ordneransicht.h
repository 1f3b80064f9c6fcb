// The window "Ordneransicht": the files of the current entry as its
// carrier's folder tree. Left the folders with the number and total size of
// the files below them, right the files of the chosen folder with the file
// list's columns. Typing in either list jumps to the first name beginning
// with the typed text; Enter (or a double click) on a file closes the
// window with that file chosen, for the search in all files.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>
#include <QElapsedTimer>
#include <QTableView>

#include <cstdint>
#include <memory>

#include "folderview/core/foldertree.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace qv {

// The files of one folder of a tree.
class FolderFilesModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    explicit FolderFilesModel(QObject* parent = nullptr);
    void setFolder(const FolderTree* tree, int node);
    int fileAt(int row) const;
    // The first row whose name begins with `prefix` (any case), -1 for none.
    int rowStartingWith(const QString& prefix) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

  private:
    const FolderTree* m_tree = nullptr;
    const std::vector<int>* m_files = nullptr;
    std::vector<QString> m_keys;  // case-folded names, in row order
};

// A file list whose typing searches the sorted names instead of walking
// every row.
class FolderFilesView : public QTableView {
    Q_OBJECT

  public:
    using QTableView::QTableView;
    void keyboardSearch(const QString& search) override;

  signals:
    void fileChosen(int row);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QString m_typed;
    QElapsedTimer m_lastKey;
};

}  // namespace qv

// Object `Ordneransicht`.
class TOrdneransicht : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kHelpTopic = 860;

    explicit TOrdneransicht(QWidget* parent = nullptr);
    ~TOrdneransicht() override;

    // Shows the tree of `files` for the entry titled `title` modally.
    // Returns the file record chosen with Enter, 0 when the window was
    // closed.
    int showFiles(const QString& title, std::vector<qv::FolderFile> files);
    // Fills the window without showing it.
    void setFiles(const QString& title, std::vector<qv::FolderFile> files);

    const qv::FolderTree& tree() const { return *m_tree; }
    // The folder shown on the right.
    int currentFolder() const { return m_folder; }
    void selectFolder(int node);

    QTreeWidget* TreeOrdner = nullptr;
    qv::FolderFilesView* GridDateien = nullptr;
    QCheckBox* cbNachGroesse = nullptr;
    QLabel* LabelPfad = nullptr;
    QPushButton* BtnClose = nullptr;

  public slots:
    void cbNachGroesseClick();
    void FolderChange();
    void FileChosen(int row);

  private:
    void fillTree();
    QTreeWidgetItem* itemOf(int node) const;

    std::unique_ptr<qv::FolderTree> m_tree;
    qv::FolderFilesModel* m_model = nullptr;
    std::vector<QTreeWidgetItem*> m_items;  // by node
    int m_folder = 0;
    int m_chosen = 0;
};
