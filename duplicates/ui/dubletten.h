// The window "Doppelte Dateien": groups of file records that are the same
// file, largest wasted space first, each group opened to its copies with
// the entry that holds each. Enter on a copy makes its entry the main
// window's current entry.
//
// The last result is kept while the window is closed and shown again when
// the catalogue's entry and file tables have not been written since; a
// cancelled search keeps the result before it.
#pragma once

#include <QAbstractItemModel>
#include <QCache>
#include <QDialog>
#include <QStringList>

#include <memory>
#include <optional>

#include "duplicates/core/duplicates.h"

#include <QTreeView>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace qv {

class MainWindowHost;

// A tree without type-to-search (it would read every row per key stroke)
// that keeps Enter to itself: Enter activates the current row and never
// reaches the window's buttons.
class QuietTreeView : public QTreeView {
  public:
    using QTreeView::QTreeView;
    void keyboardSearch(const QString&) override {}

  protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// The groups (top level) and their copies (children).
class DuplicateModel : public QAbstractItemModel {
    Q_OBJECT

  public:
    enum Column { ColFile, ColSize, ColCopies, ColWasted, ColTitle, ColBox, ColumnCount };

    DuplicateModel(CatalogueSession& session, QObject* parent = nullptr);

    void setReport(std::shared_ptr<const DuplicateReport> report,
                   std::shared_ptr<const EntryDirectory> entries);
    void clear();
    const DuplicateReport* report() const { return m_report.get(); }
    // The copy at `index`; nullptr on a group row.
    const FileCopy* copyAt(const QModelIndex& index) const;
    const EntryDirectory* entries() const { return m_entries.get(); }

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    const FileFacts& facts(std::uint32_t recno) const;

    CatalogueSession& m_session;
    std::shared_ptr<const DuplicateReport> m_report;
    std::shared_ptr<const EntryDirectory> m_entries;
    mutable QCache<std::uint32_t, FileFacts> m_facts{4000};
};

// Object `Dubletten`.
class TDubletten : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kHelpTopic = 850;

    TDubletten(MainWindowHost& host, QWidget* parent = nullptr);

    // Shows the window modally (the kept result when still valid).
    void run();

    DuplicateModel* model() const { return m_model; }
    QuietTreeView* Gruppen = nullptr;
    QComboBox* Regel = nullptr;
    QLineEdit* Mindestgroesse = nullptr;
    QLineEdit* Endungen = nullptr;
    QCheckBox* NurAbfrage = nullptr;
    QPushButton* BtnSuchen = nullptr;
    QPushButton* BtnSchliessen = nullptr;
    QLabel* Zusammenfassung = nullptr;

    // The options as the fields hold them.
    DuplicateOptions options() const;

  public slots:
    // "&Suchen": a new search with progress; "Abbrechen" keeps the result
    // shown before. False when cancelled.
    bool BtnSuchenClick();
    // Enter or a double-click: a copy shows its entry, a group opens or
    // closes.
    void GruppenActivated(const QModelIndex& index);

  private:
    // The catalogue files' last writes, to tell whether a result is still valid.
    QStringList catalogueStamp() const;
    // The totals of the result shown; after a cancel, saying so.
    void showSummary(bool cancelled = false);

    MainWindowHost& m_host;
    DuplicateModel* m_model = nullptr;
    QStringList m_stamp;
};

}  // namespace qv
