#include "ui/helpwindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/help.h"
#include "ui/windowutil.h"

namespace qv {

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    initShellResources();
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("QV-Tessarin - Hilfe"));
    setWindowIcon(programIcon());

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setOpenLinks(true);
    m_browser->setOpenExternalLinks(false);

    auto makeButton = [this](const char* name, const QString& text) {
        auto* b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        return b;
    };
    QToolButton* contents = makeButton("btnInhalt", QStringLiteral("&Inhalt"));
    QToolButton* back = makeButton("btnZurueck", QStringLiteral("&Zurück"));
    QToolButton* forward = makeButton("btnVor", QStringLiteral("&Vor"));
    QToolButton* close = makeButton("btnSchliessen", QStringLiteral("&Schließen"));
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(contents, &QToolButton::clicked, this, &HelpWindow::showContents);
    connect(back, &QToolButton::clicked, m_browser, &QTextBrowser::backward);
    connect(forward, &QToolButton::clicked, m_browser, &QTextBrowser::forward);
    connect(close, &QToolButton::clicked, this, &QWidget::close);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QToolButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, forward, &QToolButton::setEnabled);

    auto* bar = new QHBoxLayout;
    for (QToolButton* b : {contents, back, forward})
        bar->addWidget(b);
    bar->addStretch(1);
    bar->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_browser, 1);
    resize(640, 560);
}

void HelpWindow::showTopic(int topic) {
    m_topic = topic;
    if (hasHelpPage(topic)) {
        m_browser->setSource(QUrl(helpPageUrl(topic)));
    } else {
        m_browser->setHtml(missingHelpPageHtml(topic));
    }
}

void HelpWindow::showContents() {
    m_browser->setSource(QUrl(helpContentsUrl()));
}

QString HelpWindow::pageText() const {
    return m_browser->toPlainText();
}

namespace {
QPointer<HelpWindow>& theWindow() {
    static QPointer<HelpWindow> w;
    return w;
}
void deleteHelpWindow() {
    delete theWindow().data();
}
}  // namespace

HelpWindow* helpWindowIfCreated() {
    return theWindow().data();
}

HelpWindow& showHelp(int topic) {
    QPointer<HelpWindow>& w = theWindow();
    if (!w) {
        w = new HelpWindow;
        qAddPostRoutine(deleteHelpWindow);
    }
    w->showTopic(topic);
    QWidget* modal = QApplication::activeModalWidget();
    if (!w->isVisible()) {
        // Over the window that asked for help, whole on its screen.
        QWidget* anchor = modal && modal != w ? modal : QApplication::activeWindow();
        if (anchor == w) anchor = nullptr;
        placeOverWindow(w, anchor);
    }
    const Qt::WindowModality wanted = modal && modal != w ? Qt::ApplicationModal : Qt::NonModal;
    if (w->windowModality() != wanted) {
        // Modality changes take effect on the next show.
        w->hide();
        w->setWindowModality(wanted);
    }
    w->show();
    w->raise();
    w->activateWindow();
    return *w;
}

QPushButton* makeHelpButton(QWidget& window, int topic) {
    auto* button = new QPushButton(QStringLiteral("&Hilfe"), &window);
    button->setObjectName(QStringLiteral("BtnHilfe"));
    button->setAutoDefault(false);
    QObject::connect(button, &QPushButton::clicked, &window, [topic] { showHelp(topic); });
    auto* key = new QShortcut(QKeySequence(Qt::Key_F1), &window);
    QObject::connect(key, &QShortcut::activated, &window, [topic] { showHelp(topic); });
    return button;
}

}  // namespace qv
