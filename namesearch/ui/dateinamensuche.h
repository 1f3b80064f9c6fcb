// The window "Suche nach Dateinamen": one input line and filters, the files
// whose full name holds the pattern streaming into a grid (name, extension,
// size, date, path, the owning entry's title and box/number); Enter or a
// double click on a result shows its entry in the main window.
//
// The window is not modal and is kept once created. It reads the file table
// through qv::FileTableImage (no lock, beside the main window's open
// tables) and searches on a thread of its own: the name index when it is
// fresh, else the table itself while the index is rebuilt. The first search
// after the window was created waits for an index that is being built, once,
// with the build's progress in the status line.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <unordered_map>
#include <vector>

#include "namesearch/core/filetableimage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace qv {
class CatalogueSession;
class NameIndex;
class NameIndexKeeper;
class NamePattern;
struct NameFilter;

// The results: record numbers, their rows read when shown.
class NameResultModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    enum Column { Name, Extension, Size, Date, Path, Title, BoxNumber, kColumns };
    explicit NameResultModel(QObject* parent = nullptr);

    void start(std::shared_ptr<const FileTableImage> image,
               std::shared_ptr<const std::unordered_map<std::uint32_t, EntryFacts>> entries);
    void append(const std::vector<std::uint32_t>& recnos);
    std::uint32_t recnoAt(int row) const { return m_recnos[static_cast<std::size_t>(row)]; }
    // The owning entry of a row (read with the row).
    std::uint32_t entryAt(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

  private:
    struct Row {
        FileFacts facts;
        QString path;
        QString name;
    };
    const Row& rowAt(int row) const;

    std::vector<std::uint32_t> m_recnos;
    std::shared_ptr<const FileTableImage> m_image;
    std::shared_ptr<const std::unordered_map<std::uint32_t, EntryFacts>> m_entries;
    mutable std::unordered_map<int, Row> m_rows;
};

}  // namespace qv

class TDateinamensuche : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kHelpTopic = 835;
    // Rows the window looks for before it hands the search to its threads.
    static constexpr std::size_t kFirstRows = 64;
    // `showEntry` puts the main window on the entry with that number.
    TDateinamensuche(qv::CatalogueSession& session, std::function<void(int)> showEntry,
                     QWidget* parent = nullptr);
    ~TDateinamensuche() override;

    QLineEdit* EditMuster = nullptr;
    QLineEdit* EditEndungen = nullptr;
    QLineEdit* EditGroesseVon = nullptr;
    QLineEdit* EditGroesseBis = nullptr;
    QLineEdit* EditDatumVon = nullptr;
    QLineEdit* EditDatumBis = nullptr;
    QCheckBox* CheckAbfrage = nullptr;
    QPushButton* BtnSuchen = nullptr;
    QPushButton* BtnHilfe = nullptr;
    QPushButton* BtnSchliessen = nullptr;
    QTableView* Grid = nullptr;
    QLabel* StatusLine = nullptr;
    qv::NameResultModel* model() const { return m_model; }
    // Whether a search is still delivering.
    bool searching() const { return m_searching; }

  public slots:
    void BtnSuchenClick();
    void GridEnter();
    void BtnHilfeClick();

  signals:
    // After the first rows of a search were added, and when it ended.
    void firstRows();
    void finished(qulonglong matches);

  protected:
    void showEvent(QShowEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

  private:
    void stopSearch();
    void runSearch(std::shared_ptr<const qv::NameIndex> index);
    void deliver(quint64 generation, std::vector<std::uint32_t> recnos);
    void done(quint64 generation, quint64 matches, QString failure);
    bool readFilter(qv::NameFilter& filter);
    void loadEntries();

    qv::CatalogueSession& m_session;
    std::function<void(int)> m_showEntry;
    std::string m_dir;
    std::unique_ptr<qv::NameIndexKeeper> m_keeper;
    qv::NameResultModel* m_model = nullptr;
    QTimer* m_wait = nullptr;
    std::shared_ptr<const std::unordered_map<std::uint32_t, qv::EntryFacts>> m_entries;
    std::string m_entryStamp;
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    quint64 m_generation = 0;
    bool m_searching = false;
    bool m_waitedOnce = false;
    bool m_firstShown = false;
    std::shared_ptr<qv::NamePattern> m_pattern;
    std::shared_ptr<qv::NameFilter> m_filter;
};
