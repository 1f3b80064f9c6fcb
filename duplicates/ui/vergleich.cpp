#include "duplicates/ui/vergleich.h"

#include <QComboBox>
#include <QFont>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "duplicates/ui/dubletten.h"
#include "duplicates/ui/scanprogress.h"
#include "ui/feature.h"
#include "ui/helpwindow.h"

namespace qv {

// ---- files found only here ----------------------------------------------------------------

void OnlyHereModel::setFiles(std::vector<OnlyHereFile> files) {
    beginResetModel();
    m_files = std::move(files);
    endResetModel();
}

int OnlyHereModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_files.size());
}

int OnlyHereModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant OnlyHereModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) return {};
    const OnlyHereFile& f = m_files[static_cast<std::size_t>(index.row())];
    if (role == Qt::TextAlignmentRole && index.column() == 1)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole) return {};
    return index.column() == 0 ? QVariant(f.path) : QVariant(groupedNumber(f.size));
}

QVariant OnlyHereModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    return section == 0 ? QStringLiteral("Nur hier: Verzeichnis+Datei") : QStringLiteral("Größe");
}

// ---- the window ---------------------------------------------------------------------------

TVergleich::TVergleich(MainWindowHost& host, QWidget* parent)
    : QDialog(parent), m_host(host), m_only(new OnlyHereModel(this)) {
    setObjectName(QStringLiteral("Vergleich"));
    setWindowTitle(QStringLiteral("Datenträger vergleichen"));
    setSizeGripEnabled(true);
    resize(860, 600);

    Kopf = new QLabel(this);
    Kopf->setObjectName(QStringLiteral("Kopf"));
    Kopf->setTextFormat(Qt::PlainText);
    Regel = new QComboBox(this);
    Regel->setObjectName(QStringLiteral("Regel"));
    Regel->addItem(QStringLiteral("Name, Endung und Größe"));
    Regel->addItem(QStringLiteral("Name, Endung, Größe, Datum und Zeit"));
    Regel->addItem(QStringLiteral("Größe, Datum und Zeit (Name beliebig)"));
    BtnVergleichen = new QPushButton(QStringLiteral("&Vergleichen"), this);
    BtnVergleichen->setObjectName(QStringLiteral("BtnVergleichen"));
    BtnVergleichen->setAutoDefault(false);
    BtnSchliessen = new QPushButton(QStringLiteral("S&chließen"), this);
    BtnSchliessen->setObjectName(QStringLiteral("BtnSchliessen"));
    BtnSchliessen->setAutoDefault(false);

    Andere = new QTreeWidget(this);
    Andere->setObjectName(QStringLiteral("Andere"));
    Andere->setAccessibleName(QStringLiteral("Auch vorhanden auf"));
    Andere->setRootIsDecorated(false);
    Andere->setUniformRowHeights(true);
    Andere->setHeaderLabels({QStringLiteral("Auch vorhanden auf: Bezeichnung"),
                             QStringLiteral("Box / Nummer"), QStringLiteral("Dateien"),
                             QStringLiteral("Größe")});
    Andere->header()->resizeSection(0, 380);
    Andere->header()->resizeSection(1, 110);
    Andere->header()->resizeSection(2, 90);

    NurHier = new QuietTreeView(this);
    NurHier->setObjectName(QStringLiteral("NurHier"));
    NurHier->setAccessibleName(QStringLiteral("Nur hier"));
    NurHier->setModel(m_only);
    NurHier->setRootIsDecorated(false);
    NurHier->setUniformRowHeights(true);
    NurHier->setEditTriggers(QAbstractItemView::NoEditTriggers);
    NurHier->header()->resizeSection(0, 640);

    Urteil = new QLabel(this);
    Urteil->setObjectName(QStringLiteral("Urteil"));
    Urteil->setTextFormat(Qt::PlainText);
    QFont bold = Urteil->font();
    bold.setBold(true);
    Urteil->setFont(bold);

    auto* head = new QHBoxLayout;
    head->addWidget(Kopf, 1);
    auto* ruleLabel = new QLabel(QStringLiteral("&Regel:"), this);
    ruleLabel->setBuddy(Regel);
    head->addWidget(ruleLabel);
    head->addWidget(Regel);
    head->addWidget(BtnVergleichen);

    auto* lists = new QSplitter(Qt::Vertical, this);
    lists->addWidget(Andere);
    lists->addWidget(NurHier);

    auto* foot = new QHBoxLayout;
    foot->addWidget(Urteil, 1);
    foot->addWidget(BtnSchliessen);
    foot->addWidget(qv::makeHelpButton(*this, kHelpTopic));

    auto* top = new QVBoxLayout(this);
    top->addLayout(head);
    top->addWidget(lists, 1);
    top->addLayout(foot);

    connect(BtnVergleichen, &QPushButton::clicked, this, [this] { BtnVergleichenClick(); });
    connect(BtnSchliessen, &QPushButton::clicked, this, &QDialog::reject);
    connect(Andere, &QTreeWidget::itemActivated, this, &TVergleich::AndereActivated);
}

void TVergleich::run(int number) {
    m_number = number;
    m_result.reset();
    Andere->clear();
    m_only->setFiles({});
    Kopf->clear();
    Urteil->clear();
    BtnVergleichenClick();
    Andere->setFocus();
    exec();
}

bool TVergleich::BtnVergleichenClick() {
    std::optional<CarrierComparison> c;
    {
        CancellableScan scan(this, QStringLiteral("Datenträger wird verglichen ..."));
        c = compareCarrier(m_host.session(), m_number,
                           static_cast<DuplicateRule>(std::max(0, Regel->currentIndex())),
                           scan.callback());
    }
    if (!c) {
        // The result shown before stays; the verdict says it is not new.
        Urteil->setText(QStringLiteral("Vergleich abgebrochen."));
        return false;
    }
    m_result = std::move(c);
    showResult(*m_result);
    return true;
}

void TVergleich::showResult(const CarrierComparison& c) {
    Kopf->setText(
        QStringLiteral("%1   (Box / Nummer %2):  %3 Dateien, %4")
            .arg(c.entry.title, c.entry.boxAndDisk(), groupedNumber(c.files), byteText(c.bytes)));
    Andere->clear();
    QList<QTreeWidgetItem*> items;
    for (const SharedWith& s : c.sharedWith) {
        auto* item = new QTreeWidgetItem(
            {s.entry.title, s.entry.boxAndDisk(), groupedNumber(s.files), byteText(s.bytes)});
        item->setData(0, Qt::UserRole, s.entry.recno);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        items << item;
    }
    Andere->addTopLevelItems(items);
    if (!items.isEmpty()) Andere->setCurrentItem(items.first());
    m_only->setFiles(c.onlyHere);
    Urteil->setText(c.verdict());
}

void TVergleich::AndereActivated(QTreeWidgetItem* item) {
    if (!item) return;
    m_host.showEntry(item->data(0, Qt::UserRole).toUInt());
}

}  // namespace qv
