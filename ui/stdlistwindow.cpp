#include "ui/stdlistwindow.h"

#include <QAction>
#include <QEvent>
#include <QHBoxLayout>
#include <QMenu>
#include <QMenuBar>
#include <QShowEvent>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "catalogue/cataloguesession.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "ui/command.h"
#include "ui/dbgrid.h"
#include "ui/dbnavigator.h"
#include "ui/dialogs.h"
#include "ui/errorhandler.h"
#include "ui/helpwindow.h"

namespace qv {

namespace {

const QString kNoRecord = QStringLiteral("Kein Datensatz vorhanden.");

QAction* makeAction(QObject* owner, const char* name, const QString& caption,
                    const QList<QKeySequence>& keys, const QString& hint = QString()) {
    auto* a = new QAction(caption, owner);
    a->setObjectName(QLatin1String(name));
    a->setShortcuts(keys);
    if (!hint.isEmpty()) a->setStatusTip(hint);
    return a;
}

}  // namespace

TStdListWindow::TStdListWindow(CatalogueSession& session, Options options, QWidget* parent)
    : QDialog(parent),
      DataSourceStd(new TDataSource(&session.table(options.table), this)),
      ApolloStd(new TApollo(DataSourceStd, this)),
      m_session(session),
      m_options(std::move(options)),
      m_list(*ApolloStd, m_options.suspendWhileWriting) {
    DataSourceStd->setObjectName(QStringLiteral("DataSourceStd"));
    ApolloStd->setObjectName(QStringLiteral("ApolloStd"));
    setWindowTitle(m_options.caption);
    setSizeGripEnabled(true);
    for (Command** c : {&m_search, &m_edit, &m_new, &m_delete, &m_help})
        *c = new Command(this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildMenus();
    layout->setMenuBar(MainMenu1);
    buildToolBar();
    layout->addWidget(ToolBar1);

    m_body = new QVBoxLayout;
    m_body->setContentsMargins(2, 2, 2, 2);
    m_body->setSpacing(2);
    DBGrid1 = new DbGrid(this);
    DBGrid1->setObjectName(QStringLiteral("DBGrid1"));
    DBGrid1->setDataSource(DataSourceStd);
    DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGrid1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu1->popup(DBGrid1->viewport()->mapToGlobal(pos));
    });
    connect(DBGrid1, &DbGrid::rowDoubleClicked, this, [this] { m_edit->trigger(); });
    m_body->addWidget(DBGrid1, 1);
    layout->addLayout(m_body, 1);

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(0, 0, 0, 0);
    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    DBNavigator1 = new DbNavigator(this);
    DBNavigator1->setObjectName(QStringLiteral("DBNavigator1"));
    DBNavigator1->setDataSource(DataSourceStd);
    bottom->addWidget(StatusBar1, 1);
    bottom->addWidget(DBNavigator1);
    layout->addLayout(bottom);

    m_search->setHandler([this] { BtnSearchClick(); });
    m_edit->setHandler([this] { BtnEditClick(); });
    m_new->setHandler([this] { BtnNeuClick(); });
    m_delete->setHandler([this] { BtnDeleteClick(); });
    m_help->setHandler([this] { BtnHelpClick(); });
    connectCommand(BtnClose, &QToolButton::clicked, this, [this] { BtnCloseClick(); });
    connectCommand(Schlieen1, &QAction::triggered, this, [this] { Schlieen1Click(); });
    setFocusProxy(DBGrid1);
    resize(560, 420);
}

TStdListWindow::~TStdListWindow() {
    DBGrid1->setDataSource(nullptr);
    DBNavigator1->setDataSource(nullptr);
}

void TStdListWindow::buildMenus() {
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = MainMenu1->addMenu(QStringLiteral("&Datei"));
    file->setObjectName(QStringLiteral("Datei1"));
    Schlieen1 = makeAction(this, "Schlieen1", QStringLiteral("&Schließen"), {});
    file->addAction(Schlieen1);

    QMenu* entry = MainMenu1->addMenu(QStringLiteral("&Eintrag"));
    entry->setObjectName(QStringLiteral("Eintrag1"));
    QAction* search = makeAction(this, "Suchen1", QStringLiteral("&Suchen"), {Qt::Key_F2},
                                 m_options.searchMenuHint);
    QAction* edit = makeAction(this, "Aendern1", QStringLiteral("&Ändern"),
                               {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    QAction* add = makeAction(this, "Neu1", QStringLiteral("&Neu"), {Qt::Key_Insert});
    QAction* del = makeAction(this, "Loeschen1", QStringLiteral("&Löschen"), {Qt::Key_Delete},
                              QStringLiteral("Löschen des aktuellen Eintrags"));
    entry->addAction(search);
    entry->addAction(edit);
    entry->addAction(add);
    entry->addSeparator();
    entry->addAction(del);
    QAction* help = makeAction(this, "Hilfe1", QStringLiteral("Hilfe"), {});
    MainMenu1->addAction(help);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* search2 = makeAction(PopupMenu1, "Suchen2", QStringLiteral("&Suchen"), {Qt::Key_F2});
    QAction* edit2 = makeAction(PopupMenu1, "Aendern2", QStringLiteral("&Ändern"),
                                {QKeySequence(Qt::Key_Return)});
    QAction* add2 = makeAction(PopupMenu1, "Neu2", QStringLiteral("&Neu"), {Qt::Key_Insert});
    QAction* del2 =
        makeAction(PopupMenu1, "Loeschen2", QStringLiteral("&Löschen"), {Qt::Key_Delete});
    QAction* help2 = makeAction(PopupMenu1, "Hilfe2", QStringLiteral("&Hilfe"), {Qt::Key_F1});
    for (QAction* a : {search2, edit2, add2, del2}) {
        a->setShortcutContext(Qt::WidgetShortcut);  // the keys act through the menu bar
    }
    // F1 of the context menu opens this window's page while the list has the focus.
    help2->setShortcutContext(Qt::WindowShortcut);
    addAction(help2);
    PopupMenu1->addAction(search2);
    PopupMenu1->addAction(edit2);
    PopupMenu1->addAction(add2);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(del2);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(help2);

    m_search->addAction(search);
    m_search->addAction(search2);
    m_edit->addAction(edit);
    m_edit->addAction(edit2);
    m_new->addAction(add);
    m_new->addAction(add2);
    m_delete->addAction(del);
    m_delete->addAction(del2);
    m_help->addAction(help);
    m_help->addAction(help2);
}

QToolButton* TStdListWindow::toolButton(const QString& name, const QString& caption,
                                        const QString& hint) {
    auto* b = new QToolButton(ToolBar1);
    b->setObjectName(name);
    b->setText(caption);
    b->setToolTip(hint);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setFocusPolicy(Qt::NoFocus);
    b->installEventFilter(this);
    ToolBar1->addWidget(b);
    return b;
}

void TStdListWindow::buildToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    BtnSearch =
        toolButton(QStringLiteral("BtnSearch"), QStringLiteral("&Suchen"), m_options.searchHint);
    BtnEdit = toolButton(QStringLiteral("BtnEdit"), QStringLiteral("&Ändern"),
                         QStringLiteral("Ändert den aktuellen Eintrag"));
    BtnNeu = toolButton(QStringLiteral("BtnNeu"), QStringLiteral("&Neu"),
                        QStringLiteral("Neuen Eintrag anlegen"));
    BtnDelete = toolButton(QStringLiteral("BtnDelete"), QStringLiteral("&Löschen"),
                           QStringLiteral("Aktuellen Eintrag löschen"));
    BtnHelp = toolButton(QStringLiteral("BtnHelp"), QStringLiteral("Hilfe"),
                         QStringLiteral("Hilfe aufrufen"));
    ToolBar1->addSeparator();
    BtnClose = toolButton(QStringLiteral("BtnClose"), QStringLiteral("&Schließen"),
                          QStringLiteral("Fenster schließen"));
    m_search->addButton(BtnSearch);
    m_edit->addButton(BtnEdit);
    m_new->addButton(BtnNeu);
    m_delete->addButton(BtnDelete);
    m_help->addButton(BtnHelp);
}

void TStdListWindow::addAboveList(QWidget* w) {
    m_body->insertWidget(m_listIndex++, w);
}

void TStdListWindow::addBelowList(QWidget* w) {
    m_body->addWidget(w);
}

void TStdListWindow::focusList() {
    DBGrid1->setFocus(Qt::OtherFocusReason);
}

bool TStdListWindow::choose() {
    struct CaptionBack {
        QToolButton* button;
        ~CaptionBack() { button->setText(QStringLiteral("&Schließen")); }
    } back{BtnClose};
    BtnClose->setText(QStringLiteral("&Übernahme"));
    return exec() == QDialog::Accepted;
}

// ---- activation and closing -----------------------------------------------------------------

void TStdListWindow::FormActivate() {
    ApolloStd->sx_GoTop();
    focusList();
}

void TStdListWindow::FormClose() {}

void TStdListWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) runGuarded([this] { FormActivate(); });
}

void TStdListWindow::done(int result) {
    runGuarded([this] { FormClose(); });
    QDialog::done(result);
}

bool TStdListWindow::eventFilter(QObject* watched, QEvent* event) {
    // Releasing the mouse over a tool button gives the keyboard back to the list.
    if (event->type() == QEvent::MouseButtonRelease &&
        (watched == BtnNeu || watched == BtnEdit || watched == BtnDelete || watched == BtnSearch ||
         watched == BtnHelp)) {
        const bool handled = QDialog::eventFilter(watched, event);
        focusList();
        return handled;
    }
    return QDialog::eventFilter(watched, event);
}

// ---- commands -------------------------------------------------------------------------------

void TStdListWindow::BtnSearchClick() {
    if (!m_list.hasCurrent()) {
        message(kNoRecord, QStringLiteral("Suche nicht möglich"), MsgIcon::Error);
        return;
    }
    const InputResult in =
        inputBox(QStringLiteral("Suche"), m_options.searchPrompt, QString(), 255);
    if (!in.ok) return;
    if (!m_list.search(in.value))
        message(QStringLiteral("Nicht gefunden."), QStringLiteral("Meldung"), MsgIcon::None);
    focusList();
}

void TStdListWindow::BtnEditClick() {
    if (!m_list.hasCurrent()) {
        message(kNoRecord, QStringLiteral("Ändern nicht möglich"), MsgIcon::Error);
        return;
    }
    FieldValues values;
    if (runEditDialog(false, values)) {
        m_list.change(values);
        DBGrid1->viewport()->update();
    }
    focusList();
}

void TStdListWindow::BtnNeuClick() {
    FieldValues values;
    if (mayCreate() && runEditDialog(true, values)) appendRecord(values);
    focusList();
}

void TStdListWindow::appendRecord(const FieldValues& values) {
    m_list.append(values);
}

void TStdListWindow::BtnDeleteClick() {
    if (!m_list.hasCurrent()) {
        message(kNoRecord, QStringLiteral("Löschen nicht möglich"), MsgIcon::Error);
        return;
    }
    if (message(QStringLiteral("Eintrag wirklich löschen ?"), QStringLiteral("Löschen ?"),
                MsgIcon::Question, MsgButtons::YesNo) == MsgAnswer::Yes)
        m_list.remove();
    focusList();
}

void TStdListWindow::BtnHelpClick() {
    showHelp(m_options.helpTopic);
    focusList();
}

void TStdListWindow::BtnCloseClick() {
    reject();
}

void TStdListWindow::Schlieen1Click() {
    reject();
}

}  // namespace qv
