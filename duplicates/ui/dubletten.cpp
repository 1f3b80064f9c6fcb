#include "duplicates/ui/dubletten.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTreeView>
#include <QVBoxLayout>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "duplicates/ui/scanprogress.h"
#include "store/tables/cataloguetables.h"
#include "ui/feature.h"
#include "ui/helpwindow.h"

namespace qv {

// ---- the model ----------------------------------------------------------------------------

DuplicateModel::DuplicateModel(CatalogueSession& session, QObject* parent)
    : QAbstractItemModel(parent), m_session(session) {}

void DuplicateModel::setReport(std::shared_ptr<const DuplicateReport> report,
                               std::shared_ptr<const EntryDirectory> entries) {
    beginResetModel();
    m_report = std::move(report);
    m_entries = std::move(entries);
    m_facts.clear();
    endResetModel();
}

void DuplicateModel::clear() {
    setReport(nullptr, nullptr);
}

// Group rows carry the id 0, copy rows their group's row plus 1.
QModelIndex DuplicateModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent)) return {};
    if (!parent.isValid()) return createIndex(row, column, quintptr{0});
    return createIndex(row, column, static_cast<quintptr>(parent.row()) + 1);
}

QModelIndex DuplicateModel::parent(const QModelIndex& child) const {
    if (!child.isValid() || child.internalId() == 0) return {};
    return createIndex(static_cast<int>(child.internalId() - 1), 0, quintptr{0});
}

int DuplicateModel::rowCount(const QModelIndex& parent) const {
    if (!m_report) return 0;
    if (!parent.isValid()) return static_cast<int>(m_report->groups.size());
    if (parent.internalId() != 0 || parent.column() != 0) return 0;
    return static_cast<int>(m_report->groups[static_cast<std::size_t>(parent.row())].copies);
}

int DuplicateModel::columnCount(const QModelIndex&) const {
    return ColumnCount;
}

const FileCopy* DuplicateModel::copyAt(const QModelIndex& index) const {
    if (!m_report || !index.isValid() || index.internalId() == 0) return nullptr;
    const DuplicateGroup& g = m_report->groups[static_cast<std::size_t>(index.internalId() - 1)];
    return &m_report->copies[g.first + static_cast<std::uint32_t>(index.row())];
}

const FileFacts& DuplicateModel::facts(std::uint32_t recno) const {
    if (FileFacts* f = m_facts.object(recno)) return *f;
    auto* f = new FileFacts(readFileFacts(m_session, recno));
    m_facts.insert(recno, f);
    return *f;
}

QVariant DuplicateModel::data(const QModelIndex& index, int role) const {
    if (!m_report || !index.isValid()) return {};
    if (role == Qt::TextAlignmentRole) {
        const int c = index.column();
        if (c == ColSize || c == ColCopies || c == ColWasted)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    }
    if (role != Qt::DisplayRole) return {};
    if (index.internalId() == 0) {
        const DuplicateGroup& g = m_report->groups[static_cast<std::size_t>(index.row())];
        switch (index.column()) {
            case ColFile: {
                return facts(m_report->copies[g.first].recno).shownName();
            }
            case ColSize:
                return groupedNumber(g.size);
            case ColCopies:
                return g.copies;
            case ColWasted:
                return byteText(g.wasted());
            default:
                return {};
        }
    }
    const FileCopy* c = copyAt(index);
    const EntryRef* e = m_entries ? m_entries->find(c->owner) : nullptr;
    switch (index.column()) {
        case ColFile:
            return facts(c->recno).shownPath();
        case ColSize: {
            const FileFacts& f = facts(c->recno);
            return QStringLiteral("%1 %2").arg(f.date, f.time);
        }
        case ColTitle:
            return e ? e->title : QString();
        case ColBox:
            return e ? e->boxAndDisk() : QString();
        default:
            return {};
    }
}

QVariant DuplicateModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case ColFile:
            return QStringLiteral("Datei / Verzeichnis+Datei");
        case ColSize:
            return QStringLiteral("Größe / Datum");
        case ColCopies:
            return QStringLiteral("Kopien");
        case ColWasted:
            return QStringLiteral("Belegt durch Kopien");
        case ColTitle:
            return QStringLiteral("Bezeichnung");
        case ColBox:
            return QStringLiteral("Box / Nummer");
        default:
            return {};
    }
}

// ---- the window ---------------------------------------------------------------------------

TDubletten::TDubletten(MainWindowHost& host, QWidget* parent)
    : QDialog(parent), m_host(host), m_model(new DuplicateModel(host.session(), this)) {
    setObjectName(QStringLiteral("Dubletten"));
    setWindowTitle(QStringLiteral("Doppelte Dateien"));
    setSizeGripEnabled(true);
    resize(980, 620);

    Regel = new QComboBox(this);
    Regel->setObjectName(QStringLiteral("Regel"));
    Regel->addItem(QStringLiteral("Name, Endung und Größe"));
    Regel->addItem(QStringLiteral("Name, Endung, Größe, Datum und Zeit"));
    Regel->addItem(QStringLiteral("Größe, Datum und Zeit (Name beliebig)"));
    Mindestgroesse = new QLineEdit(QStringLiteral("0"), this);
    Mindestgroesse->setObjectName(QStringLiteral("Mindestgroesse"));
    Mindestgroesse->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{0,12}")), Mindestgroesse));
    Endungen = new QLineEdit(this);
    Endungen->setObjectName(QStringLiteral("Endungen"));
    Endungen->setPlaceholderText(QStringLiteral("alle (sonst z. B. EXE, ZIP)"));
    NurAbfrage = new QCheckBox(QStringLiteral("&Nur Einträge der Suchabfrage"), this);
    NurAbfrage->setObjectName(QStringLiteral("NurAbfrage"));
    BtnSuchen = new QPushButton(QStringLiteral("&Suchen"), this);
    BtnSuchen->setObjectName(QStringLiteral("BtnSuchen"));
    // Enter starts the search while the button has the focus; in the tree
    // Enter opens a group or shows a copy's entry and reaches no button.
    BtnSuchen->setAutoDefault(true);
    BtnSchliessen = new QPushButton(QStringLiteral("S&chließen"), this);
    BtnSchliessen->setObjectName(QStringLiteral("BtnSchliessen"));
    BtnSchliessen->setAutoDefault(false);

    auto* options = new QGridLayout;
    auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };
    options->addWidget(label(QStringLiteral("&Vergleich:"), Regel), 0, 0);
    options->addWidget(Regel, 0, 1);
    options->addWidget(label(QStringLiteral("&Mindestgröße (Bytes):"), Mindestgroesse), 0, 2);
    options->addWidget(Mindestgroesse, 0, 3);
    options->addWidget(label(QStringLiteral("&Endungen:"), Endungen), 1, 0);
    options->addWidget(Endungen, 1, 1);
    options->addWidget(NurAbfrage, 1, 2, 1, 2);
    options->setColumnStretch(1, 1);

    Gruppen = new QuietTreeView(this);
    Gruppen->setObjectName(QStringLiteral("Gruppen"));
    Gruppen->setAccessibleName(QStringLiteral("Gruppen doppelter Dateien"));
    Gruppen->setModel(m_model);
    Gruppen->setUniformRowHeights(true);
    Gruppen->setSelectionBehavior(QAbstractItemView::SelectRows);
    Gruppen->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Gruppen->setExpandsOnDoubleClick(false);
    Gruppen->setAllColumnsShowFocus(true);
    Gruppen->header()->setStretchLastSection(false);
    Gruppen->header()->resizeSection(DuplicateModel::ColFile, 330);
    Gruppen->header()->resizeSection(DuplicateModel::ColSize, 130);
    Gruppen->header()->resizeSection(DuplicateModel::ColCopies, 60);
    Gruppen->header()->resizeSection(DuplicateModel::ColWasted, 130);
    Gruppen->header()->resizeSection(DuplicateModel::ColTitle, 200);
    Gruppen->header()->resizeSection(DuplicateModel::ColBox, 90);

    Zusammenfassung = new QLabel(this);
    Zusammenfassung->setObjectName(QStringLiteral("Zusammenfassung"));
    Zusammenfassung->setTextFormat(Qt::PlainText);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(Zusammenfassung, 1);
    buttons->addWidget(BtnSuchen);
    buttons->addWidget(BtnSchliessen);
    buttons->addWidget(qv::makeHelpButton(*this, kHelpTopic));

    auto* top = new QVBoxLayout(this);
    top->addLayout(options);
    top->addWidget(Gruppen, 1);
    top->addLayout(buttons);

    connect(BtnSuchen, &QPushButton::clicked, this, [this] { BtnSuchenClick(); });
    connect(BtnSchliessen, &QPushButton::clicked, this, &QDialog::reject);
    connect(Gruppen, &QTreeView::activated, this, &TDubletten::GruppenActivated);
    showSummary();
}

DuplicateOptions TDubletten::options() const {
    DuplicateOptions o;
    o.rule = static_cast<DuplicateRule>(std::max(0, Regel->currentIndex()));
    o.minSize = Mindestgroesse->text().toLongLong();
    o.extensions =
        Endungen->text().split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts);
    o.onlyQueryEntries = NurAbfrage->isEnabled() && NurAbfrage->isChecked();
    return o;
}

QStringList TDubletten::catalogueStamp() const {
    QStringList stamp;
    TDM& dm = m_host.session().dm();
    for (CatalogueTable t : {CatalogueTable::Entries, CatalogueTable::Files}) {
        const QFileInfo f(dm.filePath(
            QString::fromUtf8(tables::layoutOf(t).dataFile.data(),
                              static_cast<qsizetype>(tables::layoutOf(t).dataFile.size()))));
        stamp << QStringLiteral("%1 %2").arg(f.size()).arg(f.lastModified().toMSecsSinceEpoch());
    }
    stamp << (m_host.session().searchActive() ? QStringLiteral("q") : QString());
    return stamp;
}

void QuietTreeView::keyPressEvent(QKeyEvent* event) {
    QTreeView::keyPressEvent(event);
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) event->accept();
}

void TDubletten::run() {
    NurAbfrage->setEnabled(m_host.session().searchActive());
    if (m_model->report() && catalogueStamp() != m_stamp) {
        m_model->clear();
        showSummary();
    }
    // Nothing to look through yet: the first key starts the search.
    if (m_model->report())
        Gruppen->setFocus();
    else
        BtnSuchen->setFocus();
    exec();
}

bool TDubletten::BtnSuchenClick() {
    std::optional<DuplicateReport> report;
    std::shared_ptr<const EntryDirectory> entries;
    {
        CancellableScan scan(this, QStringLiteral("Doppelte Dateien werden gesucht ..."));
        report = findDuplicates(m_host.session(), options(), scan.callback());
        if (report) entries = std::make_shared<EntryDirectory>(m_host.session());
    }
    if (!report) {
        showSummary(true);
        return false;
    }
    m_model->setReport(std::make_shared<const DuplicateReport>(std::move(*report)), entries);
    m_stamp = catalogueStamp();
    showSummary();
    if (m_model->rowCount() > 0) Gruppen->setCurrentIndex(m_model->index(0, 0));
    Gruppen->setFocus();
    return true;
}

void TDubletten::showSummary(bool cancelled) {
    const DuplicateReport* r = m_model->report();
    if (!r) {
        Zusammenfassung->setText(cancelled ? QStringLiteral("Suche abgebrochen.")
                                           : QStringLiteral("Noch nicht gesucht."));
        return;
    }
    const QString totals = QStringLiteral("Gruppen: %1   Kopien: %2   Platz der Kopien: %3")
                               .arg(groupedNumber(static_cast<std::int64_t>(r->groups.size())),
                                    groupedNumber(r->copyCount), byteText(r->wastedBytes));
    Zusammenfassung->setText(
        cancelled ? QStringLiteral("Suche abgebrochen, das vorige Ergebnis: ") + totals : totals);
}

void TDubletten::GruppenActivated(const QModelIndex& index) {
    if (!index.isValid()) return;
    const FileCopy* c = m_model->copyAt(index);
    if (!c) {
        const QModelIndex first = index.siblingAtColumn(0);
        Gruppen->setExpanded(first, !Gruppen->isExpanded(first));
        return;
    }
    const EntryRef* e = m_model->entries() ? m_model->entries()->find(c->owner) : nullptr;
    if (e) m_host.showEntry(e->recno);
}

}  // namespace qv
