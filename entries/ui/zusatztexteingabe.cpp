#include "entries/ui/zusatztexteingabe.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QTextDocument>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/helpwindow.h"
#include "ui/windowutil.h"

namespace {

constexpr int kHelpTopic = 770;

bool isDeleteSelectionKey(const QKeyEvent* k) {
    return k->key() == Qt::Key_Delete &&
           (k->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

}  // namespace

namespace qv {

MemoEdit::MemoEdit(QWidget* parent) : QPlainTextEdit(parent) {}

void MemoEdit::deleteSelection() {
    QTextCursor c = textCursor();
    if (!c.hasSelection()) return;
    c.removeSelectedText();
    setTextCursor(c);
}

bool MemoEdit::event(QEvent* event) {
    // Ctrl+Del reaches keyPressEvent instead of a shortcut.
    if (event->type() == QEvent::ShortcutOverride &&
        isDeleteSelectionKey(static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QPlainTextEdit::event(event);
}

void MemoEdit::keyPressEvent(QKeyEvent* event) {
    if (isDeleteSelectionKey(event)) {
        deleteSelection();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

QString memoForDisplay(const QString& stored) {
    QString s = stored;
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}

QString memoForStore(const QPlainTextEdit& edit) {
    // The raw text keeps no-break spaces (toPlainText() turns them into
    // blanks); paragraphs and line separators become CR LF.
    QString s = edit.document()->toRawText();
    QString out;
    out.reserve(s.size() + s.size() / 16);
    for (QChar c : s) {
        if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
            out += QStringLiteral("\r\n");
        else
            out += c;
    }
    return out;
}

}  // namespace qv

TZusatztextEingabe::TZusatztextEingabe(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("ZusatztextEingabe"));
    setWindowTitle(QStringLiteral("Eingabe des Zusatztextes"));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    layout->setMenuBar(MainMenu1);

    auto* bar = new QWidget(this);
    auto* barLayout = new QHBoxLayout(bar);
    barLayout->setContentsMargins(4, 4, 4, 4);
    BitBtn1 = new QToolButton(bar);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setText(QStringLiteral("Speichern"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    BitBtn2 = new QToolButton(bar);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setText(QStringLiteral("Abbrechen"));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    for (QToolButton* b : {BitBtn1, BitBtn2}) {
        b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        b->setIconSize(QSize(24, 24));
        b->setMinimumWidth(80);
        barLayout->addWidget(b);
    }
    barLayout->addStretch(1);
    connect(BitBtn1, &QToolButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QToolButton::clicked, this, &QDialog::reject);
    layout->addWidget(bar);

    Memo1 = new qv::MemoEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    QFont courier(QStringLiteral("Courier New"));
    courier.setStyleHint(QFont::TypeWriter);
    Memo1->setFont(courier);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    {
        QPalette p = Memo1->palette();
        p.setColor(QPalette::Base, p.color(QPalette::Button));
        Memo1->setPalette(p);
    }
    layout->addWidget(Memo1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    layout->addWidget(StatusBar1);

    QMenu* edit = MainMenu1->addMenu(QStringLiteral("&Bearbeiten"));
    edit->setObjectName(QStringLiteral("Bearbeiten1"));
    auto item = [&](const char* name, const char* caption, const QKeySequence& key, auto&& fn) {
        auto* a = edit->addAction(QString::fromUtf8(caption));
        a->setObjectName(QLatin1String(name));
        if (!key.isEmpty()) a->setShortcut(key);
        connect(a, &QAction::triggered, this, fn);
        return a;
    };
    Ausschneiden1 = item("Ausschneiden1", "&Ausschneiden", QKeySequence(Qt::CTRL | Qt::Key_X),
                         [this] { Memo1->cut(); });
    Kopieren1 = item("Kopieren1", "&Kopieren", QKeySequence(Qt::CTRL | Qt::Key_C),
                     [this] { Memo1->copy(); });
    Einfuegen1 = item("Einfuegen1", "&Einfügen", QKeySequence(Qt::CTRL | Qt::Key_V),
                      [this] { Memo1->paste(); });
    Loeschen1 = item("Loeschen1", "Lösc&hen", QKeySequence(Qt::CTRL | Qt::Key_Delete),
                     [this] { Memo1->deleteSelection(); });
    Allesauswaehlen1 = item("Allesauswaehlen1", "Alles ausw&ählen", QKeySequence(),
                            [this] { Memo1->selectAll(); });

    auto* help = new QAction(this);
    help->setShortcut(QKeySequence(Qt::Key_F1));
    connect(help, &QAction::triggered, this, [] { qv::showHelp(kHelpTopic); });
    addAction(help);

    resize(560, 380);
}

bool TZusatztextEingabe::run(QString& text) {
    m_original = text;
    Memo1->setPlainText(qv::memoForDisplay(text));
    m_originalShown = textToStore();
    if (exec() != QDialog::Accepted) return false;
    const QString now = textToStore();
    text = now == m_originalShown ? m_original : now;
    return true;
}

QString TZusatztextEingabe::textToStore() const {
    return qv::memoForStore(*Memo1);
}

void TZusatztextEingabe::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        qv::centerOnScreen(this);
    }
    Memo1->setFocus(Qt::OtherFocusReason);
}
