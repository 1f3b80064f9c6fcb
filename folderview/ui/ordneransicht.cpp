#include "folderview/ui/ordneransicht.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

#include "ui/helpwindow.h"
#include "ui/windowutil.h"

namespace {

QString sizeText(qint64 bytes) {
    static const QLocale german(QLocale::German, QLocale::Germany);
    return german.toString(bytes);
}

}  // namespace

namespace qv {

namespace {

enum FileColumn { ColName, ColSize, ColDate, ColTime, ColPath, ColCount };

}  // namespace

// ---- the files of a folder ---------------------------------------------------------------

FolderFilesModel::FolderFilesModel(QObject* parent) : QAbstractTableModel(parent) {}

void FolderFilesModel::setFolder(const FolderTree* tree, int node) {
    beginResetModel();
    m_tree = tree;
    m_files = tree ? &tree->node(node).files : nullptr;
    m_keys.clear();
    if (m_files) {
        m_keys.reserve(m_files->size());
        for (int f : *m_files)
            m_keys.push_back(tree->fileName(f).toCaseFolded());
    }
    endResetModel();
}

int FolderFilesModel::fileAt(int row) const {
    if (!m_files || row < 0 || row >= static_cast<int>(m_files->size())) return -1;
    return (*m_files)[static_cast<std::size_t>(row)];
}

int FolderFilesModel::rowStartingWith(const QString& prefix) const {
    // The rows are sorted by their folded names.
    const QString key = prefix.toCaseFolded();
    const auto it = std::lower_bound(m_keys.begin(), m_keys.end(), key,
                                     [](const QString& a, const QString& b) { return a < b; });
    if (it == m_keys.end() || !it->startsWith(key)) return -1;
    return static_cast<int>(it - m_keys.begin());
}

int FolderFilesModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !m_files ? 0 : static_cast<int>(m_files->size());
}

int FolderFilesModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColCount;
}

QVariant FolderFilesModel::data(const QModelIndex& index, int role) const {
    const int f = fileAt(index.row());
    if (f < 0) return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == ColSize ? QVariant((Qt::AlignRight | Qt::AlignVCenter).toInt())
                                         : QVariant();
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
    const FolderFile& file = m_tree->file(f);
    switch (index.column()) {
        case ColName:
            return m_tree->fileName(f);
        case ColSize:
            return sizeText(file.size);
        case ColDate:
            return file.date.isValid() ? file.date.toString(QStringLiteral("dd.MM.yyyy"))
                                       : QString();
        case ColTime:
            return file.time;
        case ColPath:
            return file.storedPath;
        default:
            return {};
    }
}

QVariant FolderFilesModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
    switch (section) {
        case ColName:
            return QStringLiteral("Datei");
        case ColSize:
            return QStringLiteral("Größe");
        case ColDate:
            return QStringLiteral("Datum");
        case ColTime:
            return QStringLiteral("Zeit");
        case ColPath:
            return QStringLiteral("Verzeichnis+Datei");
        default:
            return {};
    }
}

void FolderFilesView::keyboardSearch(const QString& search) {
    auto* m = qobject_cast<FolderFilesModel*>(model());
    if (!m || search.isEmpty()) return;
    if (!m_lastKey.isValid() || m_lastKey.elapsed() > QApplication::keyboardInputInterval())
        m_typed.clear();
    m_lastKey.start();
    m_typed += search;
    int row = m->rowStartingWith(m_typed);
    if (row < 0 && m_typed.size() > 1 && m_typed.count(search) == m_typed.size()) {
        // The same key again: the next name beginning with it.
        row = m->rowStartingWith(search);
    }
    if (row < 0) return;
    const QModelIndex at = m->index(row, ColName);
    setCurrentIndex(at);
    scrollTo(at);
}

void FolderFilesView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        currentIndex().isValid()) {
        emit fileChosen(currentIndex().row());
        return;
    }
    QTableView::keyPressEvent(event);
}

}  // namespace qv

// ---- the window --------------------------------------------------------------------------

TOrdneransicht::TOrdneransicht(QWidget* parent)
    : QDialog(parent), m_tree(std::make_unique<qv::FolderTree>()) {
    setObjectName(QStringLiteral("Ordneransicht"));
    setWindowTitle(QStringLiteral("Ordneransicht"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    TreeOrdner = new QTreeWidget(this);
    TreeOrdner->setObjectName(QStringLiteral("TreeOrdner"));
    TreeOrdner->setAccessibleName(QStringLiteral("Ordner"));
    TreeOrdner->setColumnCount(3);
    TreeOrdner->setHeaderLabels(
        {QStringLiteral("Ordner"), QStringLiteral("Dateien"), QStringLiteral("Größe")});
    TreeOrdner->setUniformRowHeights(true);
    TreeOrdner->header()->setStretchLastSection(false);
    TreeOrdner->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    TreeOrdner->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    TreeOrdner->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    connect(TreeOrdner, &QTreeWidget::currentItemChanged, this, [this] { FolderChange(); });

    m_model = new qv::FolderFilesModel(this);
    GridDateien = new qv::FolderFilesView(this);
    GridDateien->setObjectName(QStringLiteral("GridDateien"));
    GridDateien->setAccessibleName(QStringLiteral("Dateien des Ordners"));
    GridDateien->setModel(m_model);
    GridDateien->setSelectionBehavior(QAbstractItemView::SelectRows);
    GridDateien->setSelectionMode(QAbstractItemView::SingleSelection);
    GridDateien->setEditTriggers(QAbstractItemView::NoEditTriggers);
    GridDateien->verticalHeader()->setVisible(false);
    GridDateien->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    GridDateien->verticalHeader()->setDefaultSectionSize(GridDateien->fontMetrics().height() + 6);
    GridDateien->horizontalHeader()->setStretchLastSection(true);
    GridDateien->setWordWrap(false);
    const int digit = GridDateien->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    GridDateien->setColumnWidth(0, digit * 22);
    GridDateien->setColumnWidth(1, digit * 14);
    GridDateien->setColumnWidth(2, digit * 12);
    GridDateien->setColumnWidth(3, digit * 7);
    connect(GridDateien, &qv::FolderFilesView::fileChosen, this, &TOrdneransicht::FileChosen);
    connect(GridDateien, &QTableView::doubleClicked, this,
            [this](const QModelIndex& i) { FileChosen(i.row()); });

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->setChildrenCollapsible(false);
    split->addWidget(TreeOrdner);
    split->addWidget(GridDateien);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);

    LabelPfad = new QLabel(this);
    LabelPfad->setObjectName(QStringLiteral("LabelPfad"));
    LabelPfad->setTextFormat(Qt::PlainText);

    cbNachGroesse = new QCheckBox(QStringLiteral("Ordner nach &Größe sortieren"), this);
    cbNachGroesse->setObjectName(QStringLiteral("cbNachGroesse"));
    connect(cbNachGroesse, &QCheckBox::toggled, this, [this] { cbNachGroesseClick(); });
    BtnClose = new QPushButton(QStringLiteral("&Schließen"), this);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    BtnClose->setAutoDefault(false);
    connect(BtnClose, &QPushButton::clicked, this, &QDialog::reject);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(cbNachGroesse);
    bottom->addStretch(1);
    bottom->addWidget(BtnClose);
    bottom->addWidget(qv::makeHelpButton(*this, kHelpTopic));

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(LabelPfad);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    resize(960, 600);
}

TOrdneransicht::~TOrdneransicht() {
    m_model->setFolder(nullptr, 0);
}

void TOrdneransicht::setFiles(const QString& title, std::vector<qv::FolderFile> files) {
    setWindowTitle(QStringLiteral("Ordneransicht - %1").arg(title));
    m_chosen = 0;
    m_model->setFolder(nullptr, 0);
    m_tree = std::make_unique<qv::FolderTree>(std::move(files));
    m_tree->setFolderOrder(cbNachGroesse->isChecked() ? qv::FolderOrder::Size
                                                      : qv::FolderOrder::Name);
    fillTree();
    selectFolder(qv::FolderTree::kRoot);
}

int TOrdneransicht::showFiles(const QString& title, std::vector<qv::FolderFile> files) {
    setFiles(title, std::move(files));
    qv::centerOnScreen(this);
    TreeOrdner->setFocus(Qt::OtherFocusReason);
    exec();
    return m_chosen;
}

void TOrdneransicht::fillTree() {
    const QSignalBlocker quiet(TreeOrdner);
    TreeOrdner->clear();
    const auto& nodes = m_tree->nodes();
    m_items.assign(nodes.size(), nullptr);
    // Parents before children, in each folder's order.
    std::vector<int> pending{qv::FolderTree::kRoot};
    while (!pending.empty()) {
        const int k = pending.back();
        pending.pop_back();
        const qv::FolderNode& n = m_tree->node(k);
        QTreeWidgetItem* item =
            k == qv::FolderTree::kRoot
                ? new QTreeWidgetItem(TreeOrdner)
                : new QTreeWidgetItem(m_items[static_cast<std::size_t>(n.parent)]);
        item->setText(0, k == qv::FolderTree::kRoot && n.name.isEmpty() ? QStringLiteral("(Wurzel)")
                                                                        : n.name);
        item->setText(1, QString::number(n.fileCount));
        item->setText(2, sizeText(n.totalSize));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(0, Qt::UserRole, k);
        m_items[static_cast<std::size_t>(k)] = item;
        for (auto it = n.children.rbegin(); it != n.children.rend(); ++it)
            pending.push_back(*it);
    }
    if (!m_items.empty() && m_items[0]) m_items[0]->setExpanded(true);
}

QTreeWidgetItem* TOrdneransicht::itemOf(int node) const {
    return node >= 0 && static_cast<std::size_t>(node) < m_items.size()
               ? m_items[static_cast<std::size_t>(node)]
               : nullptr;
}

void TOrdneransicht::selectFolder(int node) {
    if (QTreeWidgetItem* item = itemOf(node)) {
        TreeOrdner->setCurrentItem(item);
        TreeOrdner->scrollToItem(item);
    }
    FolderChange();
}

void TOrdneransicht::FolderChange() {
    QTreeWidgetItem* item = TreeOrdner->currentItem();
    m_folder = item ? item->data(0, Qt::UserRole).toInt() : qv::FolderTree::kRoot;
    m_model->setFolder(m_tree.get(), m_folder);
    LabelPfad->setText(m_tree->pathOf(m_folder));
    if (m_model->rowCount() > 0) GridDateien->setCurrentIndex(m_model->index(0, 0));
}

void TOrdneransicht::cbNachGroesseClick() {
    const int keep = m_folder;
    m_tree->setFolderOrder(cbNachGroesse->isChecked() ? qv::FolderOrder::Size
                                                      : qv::FolderOrder::Name);
    // The open folders stay open.
    std::vector<bool> expanded(m_items.size(), false);
    for (std::size_t k = 0; k < m_items.size(); ++k)
        expanded[k] = m_items[k] && m_items[k]->isExpanded();
    fillTree();
    for (std::size_t k = 0; k < m_items.size(); ++k)
        if (expanded[k]) m_items[k]->setExpanded(true);
    selectFolder(keep);
}

void TOrdneransicht::FileChosen(int row) {
    const int f = m_model->fileAt(row);
    if (f < 0) return;
    m_chosen = static_cast<int>(m_tree->file(f).recno);
    accept();
}
