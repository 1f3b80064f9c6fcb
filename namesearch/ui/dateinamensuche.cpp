#include "namesearch/ui/dateinamensuche.h"

#include <QCheckBox>
#include <QDate>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <chrono>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "namesearch/core/namepattern.h"
#include "namesearch/core/namesearch.h"
#include "store/ttable.h"
#include "store/xbase/coding.h"
#include "store/xbase/env.h"
#include "store/xbase/error.h"
#include "store/xbase/table.h"
#include "store/xbase/table_index.h"
#include "ui/dialogs.h"
#include "ui/helpwindow.h"

namespace qv {

// ---- the results -------------------------------------------------------------------------

NameResultModel::NameResultModel(QObject* parent) : QAbstractTableModel(parent) {}

void NameResultModel::start(
    std::shared_ptr<const FileTableImage> image,
    std::shared_ptr<const std::unordered_map<std::uint32_t, EntryFacts>> entries) {
    beginResetModel();
    m_recnos.clear();
    m_rows.clear();
    m_image = std::move(image);
    m_entries = std::move(entries);
    endResetModel();
}

void NameResultModel::append(const std::vector<std::uint32_t>& recnos) {
    if (recnos.empty()) return;
    const int first = static_cast<int>(m_recnos.size());
    beginInsertRows({}, first, first + static_cast<int>(recnos.size()) - 1);
    m_recnos.insert(m_recnos.end(), recnos.begin(), recnos.end());
    endInsertRows();
}

const NameResultModel::Row& NameResultModel::rowAt(int row) const {
    auto it = m_rows.find(row);
    if (it != m_rows.end()) return it->second;
    // Only the rows shown are read; a long list keeps a bounded number.
    if (m_rows.size() > 4096) m_rows.clear();
    Row r;
    const std::uint32_t recno = m_recnos[static_cast<std::size_t>(row)];
    r.facts = m_image->factsOf(recno);
    const std::string path = m_image->fullPathOf(recno);
    const std::string_view name = nameOfPath(path);
    r.path = QString::fromStdString(path);
    r.name = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    return m_rows.emplace(row, std::move(r)).first->second;
}

std::uint32_t NameResultModel::entryAt(int row) const {
    return rowAt(row).facts.entry;
}

int NameResultModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_recnos.size());
}

int NameResultModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant NameResultModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    if (role == Qt::TextAlignmentRole && index.column() == Size)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const Row& r = rowAt(index.row());
    if (role == Qt::ToolTipRole) return r.path;
    switch (index.column()) {
        case Name:
            return r.name;
        case Extension: {
            const int dot = r.name.lastIndexOf(QLatin1Char('.'));
            return dot < 0 ? QString() : r.name.mid(dot + 1);
        }
        case Size:
            return QString::number(r.facts.size);
        case Date: {
            if (r.facts.date <= 0) return QString();
            int y, m, d;
            xb::jdnToDate(r.facts.date, y, m, d);
            return QDate(y, m, d).toString(QStringLiteral("dd.MM.yyyy"));
        }
        case Path:
            return r.path;
        case Title:
        case BoxNumber: {
            if (!m_entries) return QString();
            const auto e = m_entries->find(r.facts.entry);
            if (e == m_entries->end()) return QString();
            if (index.column() == Title) return QString::fromStdString(e->second.title);
            return QStringLiteral("%1 / %2").arg(e->second.box).arg(e->second.disk);
        }
        default:
            return {};
    }
}

QVariant NameResultModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kTitles[kColumns] = {
        "Datei", "Endg.", "Größe", "Datum", "Verzeichnis+Datei", "Eintrag", "Box / Nr."};
    return QString::fromUtf8(kTitles[section]);
}

}  // namespace qv

// ---- the window --------------------------------------------------------------------------

namespace {

std::string fileStamp(const std::string& path) {
    try {
        return xb::Env::posix().open(path, xb::FileAccess::ReadUnlocked)->contentStamp();
    } catch (const qv::Error&) {
        return {};
    }
}

QLineEdit* lineEdit(QWidget* parent, const char* name, int width) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    if (width > 0) e->setMaximumWidth(width);
    return e;
}

}  // namespace

TDateinamensuche::TDateinamensuche(qv::CatalogueSession& session,
                                   std::function<void(int)> showEntry, QWidget* parent)
    : QDialog(parent), m_session(session), m_showEntry(std::move(showEntry)) {
    setObjectName(QStringLiteral("Dateinamensuche"));
    setWindowTitle(QStringLiteral("Suche nach Dateinamen"));
    setWindowFlags(Qt::Window | Qt::WindowCloseButtonHint | Qt::WindowMinMaxButtonsHint);
    setSizeGripEnabled(true);
    resize(900, 560);
    m_dir = m_session.dm().programDir().toStdString();
    m_keeper = std::make_unique<qv::NameIndexKeeper>(m_dir);

    auto* top = new QVBoxLayout(this);
    auto* line = new QHBoxLayout;
    auto* label = new QLabel(QStringLiteral("Suchen &nach:"), this);
    EditMuster = lineEdit(this, "EditMuster", 0);
    EditMuster->setToolTip(
        QStringLiteral("Ein Teil des Namens oder Pfades; * und ? als Platzhalter für den Namen"));
    label->setBuddy(EditMuster);
    BtnSuchen = new QPushButton(QStringLiteral("&Suchen"), this);
    BtnSuchen->setObjectName(QStringLiteral("BtnSuchen"));
    BtnSuchen->setDefault(true);
    line->addWidget(label);
    line->addWidget(EditMuster, 1);
    line->addWidget(BtnSuchen);
    top->addLayout(line);

    auto* filters = new QGridLayout;
    EditEndungen = lineEdit(this, "EditEndungen", 160);
    EditGroesseVon = lineEdit(this, "EditGroesseVon", 110);
    EditGroesseBis = lineEdit(this, "EditGroesseBis", 110);
    EditDatumVon = lineEdit(this, "EditDatumVon", 100);
    EditDatumBis = lineEdit(this, "EditDatumBis", 100);
    EditDatumVon->setPlaceholderText(QStringLiteral("TT.MM.JJJJ"));
    EditDatumBis->setPlaceholderText(QStringLiteral("TT.MM.JJJJ"));
    EditEndungen->setPlaceholderText(QStringLiteral("pdf, jpg"));
    CheckAbfrage = new QCheckBox(QStringLiteral("nur Einträge der aktuellen &Abfrage"), this);
    CheckAbfrage->setObjectName(QStringLiteral("CheckAbfrage"));
    auto addLabel = [&](const char* text, QWidget* buddy, int row, int col) {
        auto* l = new QLabel(QString::fromUtf8(text), this);
        l->setBuddy(buddy);
        filters->addWidget(l, row, col);
        filters->addWidget(buddy, row, col + 1);
    };
    addLabel("&Endungen:", EditEndungen, 0, 0);
    addLabel("&Größe von:", EditGroesseVon, 0, 2);
    addLabel("bis:", EditGroesseBis, 0, 4);
    addLabel("&Datum von:", EditDatumVon, 1, 2);
    addLabel("bis:", EditDatumBis, 1, 4);
    filters->addWidget(CheckAbfrage, 1, 0, 1, 2);
    filters->setColumnStretch(6, 1);
    top->addLayout(filters);

    m_model = new qv::NameResultModel(this);
    Grid = new QTableView(this);
    Grid->setObjectName(QStringLiteral("Grid"));
    Grid->setModel(m_model);
    Grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    Grid->setSelectionMode(QAbstractItemView::SingleSelection);
    Grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Grid->setTabKeyNavigation(false);
    Grid->setWordWrap(false);
    Grid->verticalHeader()->setDefaultSectionSize(Grid->fontMetrics().height() + 4);
    Grid->verticalHeader()->hide();
    Grid->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {200, 50, 90, 80, 320, 160, 70};
    for (int c = 0; c < qv::NameResultModel::kColumns; ++c)
        Grid->setColumnWidth(c, widths[c]);
    top->addWidget(Grid, 1);

    auto* bottom = new QHBoxLayout;
    StatusLine = new QLabel(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    StatusLine->setTextFormat(Qt::PlainText);
    BtnHilfe = new QPushButton(QStringLiteral("&Hilfe"), this);
    BtnSchliessen = new QPushButton(QStringLiteral("S&chließen"), this);
    BtnHilfe->setAutoDefault(false);
    BtnSchliessen->setAutoDefault(false);
    bottom->addWidget(StatusLine, 1);
    bottom->addWidget(BtnHilfe);
    bottom->addWidget(BtnSchliessen);
    top->addLayout(bottom);

    m_wait = new QTimer(this);
    m_wait->setInterval(30);

    connect(BtnSuchen, &QPushButton::clicked, this, &TDateinamensuche::BtnSuchenClick);
    connect(EditMuster, &QLineEdit::returnPressed, this, &TDateinamensuche::BtnSuchenClick);
    connect(BtnHilfe, &QPushButton::clicked, this, &TDateinamensuche::BtnHilfeClick);
    connect(BtnSchliessen, &QPushButton::clicked, this, &QDialog::close);
    connect(Grid, &QTableView::doubleClicked, this, &TDateinamensuche::GridEnter);
}

TDateinamensuche::~TDateinamensuche() {
    stopSearch();
}

void TDateinamensuche::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    CheckAbfrage->setEnabled(m_session.searchActive());
    if (!m_session.searchActive()) CheckAbfrage->setChecked(false);
    // The index is brought up to date while the user types.
    m_keeper->fresh();
    if (!m_firstShown) {
        m_firstShown = true;
        EditMuster->setFocus();
    }
}

void TDateinamensuche::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && Grid->hasFocus()) {
        GridEnter();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TDateinamensuche::BtnHilfeClick() {
    qv::showHelp(kHelpTopic);
}

void TDateinamensuche::loadEntries() {
    const std::string path = m_session.dm().filePath(QStringLiteral("_qvdisk.dbf")).toStdString();
    const std::string stamp = fileStamp(path);
    if (m_entries && stamp == m_entryStamp && !stamp.empty()) return;
    m_entries = std::make_shared<const std::unordered_map<std::uint32_t, qv::EntryFacts>>(
        qv::readEntryFacts(m_dir));
    m_entryStamp = stamp;
}

bool TDateinamensuche::readFilter(qv::NameFilter& filter) {
    filter.extensions = qv::NameFilter::parseExtensions(EditEndungen->text().toStdString());
    auto size = [&](QLineEdit* e, std::optional<std::int64_t>& out) {
        const QString t = e->text().trimmed();
        if (t.isEmpty()) return true;
        bool ok = false;
        const qlonglong v = t.toLongLong(&ok);
        if (!ok || v < 0) {
            qv::message(QStringLiteral("'%1' ist keine gültige Größe.").arg(t),
                        QStringLiteral("Suche nach Dateinamen"), qv::MsgIcon::Error);
            e->setFocus();
            return false;
        }
        out = v;
        return true;
    };
    auto date = [&](QLineEdit* e, std::optional<std::int32_t>& out) {
        const QString t = e->text().trimmed();
        if (t.isEmpty()) return true;
        const QDate d = QDate::fromString(t, QStringLiteral("d.M.yyyy"));
        if (!d.isValid()) {
            qv::message(QStringLiteral("'%1' ist kein gültiges Datum (TT.MM.JJJJ).").arg(t),
                        QStringLiteral("Suche nach Dateinamen"), qv::MsgIcon::Error);
            e->setFocus();
            return false;
        }
        out = xb::dateToJdn(d.year(), d.month(), d.day());
        return true;
    };
    if (!size(EditGroesseVon, filter.minSize) || !size(EditGroesseBis, filter.maxSize) ||
        !date(EditDatumVon, filter.fromDate) || !date(EditDatumBis, filter.toDate))
        return false;
    if (CheckAbfrage->isChecked() && m_session.searchActive()) {
        // The entries the installed query lets through.
        std::unordered_set<std::uint32_t> numbers;
        xb::Table* engine = m_session.table(qv::CatalogueTable::Entries).engine();
        if (!engine) return false;
        xb::Table& t = *engine;
        const int num = t.fieldIndex("eindeutig");
        std::vector<std::uint8_t> rec(t.recordLength());
        const auto& f = t.field(num);
        for (std::uint32_t r = 1; r <= t.recCount(); ++r) {
            if (t.index().queryActive() && !t.index().queryBit(r)) continue;
            t.readRecordAt(r, rec.data());
            if (rec[0] == '*') continue;
            numbers.insert(
                static_cast<std::uint32_t>(qv::parseNumberField(rec.data() + f.offset, f.len)));
        }
        filter.entries = std::move(numbers);
    }
    return true;
}

void TDateinamensuche::stopSearch() {
    m_cancel = true;
    if (m_thread.joinable()) m_thread.join();
    m_cancel = false;
    m_wait->stop();
    m_wait->disconnect();
    m_searching = false;
}

void TDateinamensuche::BtnSuchenClick() {
    stopSearch();
    ++m_generation;
    try {
        m_pattern = std::make_shared<qv::NamePattern>(EditMuster->text().toStdString());
    } catch (const qv::Error& e) {
        qv::message(QString::fromStdString(e.what()) + QLatin1Char('.'),
                    QStringLiteral("Suche nach Dateinamen"), qv::MsgIcon::Information);
        EditMuster->setFocus();
        return;
    }
    m_filter = std::make_shared<qv::NameFilter>();
    if (!readFilter(*m_filter)) return;
    loadEntries();
    m_searching = true;
    auto index = m_keeper->fresh();
    if (!index && m_keeper->building() && !m_waitedOnce) {
        // The first search after the start waits for the index, once.
        m_waitedOnce = true;
        m_model->start(nullptr, m_entries);
        connect(m_wait, &QTimer::timeout, this, [this] {
            // A new index serves while it is still being saved.
            auto ready = m_keeper->fresh();
            if (!ready && m_keeper->building()) {
                StatusLine->setText(QStringLiteral("Namensindex wird aufgebaut ... %1 %")
                                        .arg(m_keeper->progress()));
                return;
            }
            m_wait->stop();
            m_wait->disconnect();
            runSearch(std::move(ready));
        });
        StatusLine->setText(
            QStringLiteral("Namensindex wird aufgebaut ... %1 %").arg(m_keeper->progress()));
        m_wait->start();
        return;
    }
    m_waitedOnce = true;
    runSearch(std::move(index));
}

void TDateinamensuche::runSearch(std::shared_ptr<const qv::NameIndex> index) {
    std::shared_ptr<const qv::FileTableImage> image;
    try {
        image = std::make_shared<const qv::FileTableImage>(m_dir);
    } catch (const qv::Error&) {
        m_searching = false;
        throw;
    }
    m_model->start(image, m_entries);
    StatusLine->setText(index ? QStringLiteral("Suche läuft ...")
                              : QStringLiteral("Suche läuft (ohne Namensindex) ..."));
    const quint64 generation = m_generation;
    auto pattern = m_pattern;
    auto filter = m_filter;
    // The first rows come from this thread, at once; the rest streams in
    // from the search threads.
    std::uint64_t head = 0;
    std::size_t from = 0;
    if (index) {
        from = index->searchHead(
            *pattern, *filter,
            [&](const std::vector<std::uint32_t>& recnos) {
                deliver(generation, recnos);
                return true;
            },
            kFirstRows, std::chrono::milliseconds(8), head);
        if (from >= index->slices()) {
            done(generation, head, QString());
            return;
        }
    }
    m_thread = std::thread([this, generation, index, image, pattern, filter, head, from] {
        QString failure;
        std::uint64_t n = 0;
        auto sink = [&](const std::vector<std::uint32_t>& recnos) {
            QMetaObject::invokeMethod(
                this, [this, generation, recnos] { deliver(generation, recnos); },
                Qt::QueuedConnection);
            return !m_cancel.load();
        };
        try {
            n = qv::searchNames(index.get(), *image, *pattern, *filter, sink, 0, 2, &m_cancel, from,
                                head);
        } catch (const std::exception& e) {
            failure = QString::fromStdString(e.what());
        }
        QMetaObject::invokeMethod(
            this, [this, generation, n = n + head, failure] { done(generation, n, failure); },
            Qt::QueuedConnection);
    });
}

void TDateinamensuche::deliver(quint64 generation, std::vector<std::uint32_t> recnos) {
    if (generation != m_generation) return;
    const bool first = m_model->rowCount() == 0;
    m_model->append(recnos);
    if (first) {
        Grid->selectRow(0);
        emit firstRows();
    }
    StatusLine->setText(QStringLiteral("Suche läuft ... %1 Treffer").arg(m_model->rowCount()));
}

void TDateinamensuche::done(quint64 generation, quint64 matches, QString failure) {
    if (generation != m_generation) return;
    if (m_thread.joinable()) m_thread.join();
    m_searching = false;
    if (!failure.isEmpty()) {
        StatusLine->setText(QString());
        qv::message(failure + QLatin1Char('.'), QStringLiteral("QV-TESSARIN 97"),
                    qv::MsgIcon::Error);
        return;
    }
    StatusLine->setText(matches == 0   ? QStringLiteral("Keine Datei gefunden.")
                        : matches == 1 ? QStringLiteral("1 Datei gefunden.")
                                       : QStringLiteral("%1 Dateien gefunden.").arg(matches));
    emit finished(matches);
}

void TDateinamensuche::GridEnter() {
    const QModelIndex current = Grid->currentIndex();
    if (!current.isValid() || !m_showEntry) return;
    m_showEntry(static_cast<int>(m_model->entryAt(current.row())));
}
