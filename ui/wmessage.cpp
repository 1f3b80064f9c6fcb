#include "ui/wmessage.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "ui/appinfo.h"
#include "ui/termination.h"
#include "ui/windowutil.h"

TWmessage::TWmessage(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("Wmessage"));
    setWindowTitle(qv::kProductName);
    qv::setTealBackground(this);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(qv::programIcon().pixmap(48, 48));
    Image1->setFixedSize(48, 48);
    Image1->setScaledContents(true);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setAlignment(Qt::AlignCenter);
    QFont bold = Label1->font();
    bold.setBold(true);
    Label1->setFont(bold);

    Label2 = new QLabel(this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignCenter);

    CancelBtn = new QPushButton(QStringLiteral("Abbrechen"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->hide();
    connect(CancelBtn, &QPushButton::clicked, this, [this] {
        m_cancelRequested = true;
        CancelBtn->setEnabled(false);
    });

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(12, 12, 12, 12);
    grid->addWidget(Image1, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addWidget(Label1, 0, 1);
    grid->addWidget(Label2, 1, 0, 1, 2);  // the full width
    grid->addWidget(CancelBtn, 2, 0, 1, 2, Qt::AlignCenter);
    grid->setColumnStretch(1, 1);
    setFixedSize(460, 110);
}

bool TWmessage::cancelRequested() const {
    return m_cancelRequested || qv::terminationRequested();
}

void TWmessage::offerCancel(bool on) {
    m_cancelRequested = false;
    CancelBtn->setEnabled(on);
    CancelBtn->setVisible(on);
    setFixedSize(460, on ? 150 : 110);
}

void TWmessage::setLine1(const QString& text) {
    Label1->setText(text);
}
void TWmessage::setLine2(const QString& text) {
    Label2->setText(text);
}
QString TWmessage::line1() const {
    return Label1->text();
}
QString TWmessage::line2() const {
    return Label2->text();
}

void TWmessage::showProgress() {
    // While an operation runs the other windows take no input.
    if (!isVisible()) {
        setWindowModality(Qt::ApplicationModal);
        QWidget* active = QApplication::activeWindow();
        m_returnTo = active != this ? active : nullptr;
    }
    show();
    raise();
    repaint();
}

void TWmessage::closeProgress() {
    const bool wasVisible = isVisible();
    hide();
    // Back to the window that had the keyboard; a dialog that hid itself
    // for the time of the operation is left to its caller.
    if (wasVisible && m_returnTo && m_returnTo->isVisible())
        qv::giveFocusBack(m_returnTo, m_returnTo->focusWidget());
}

void TWmessage::closeEvent(QCloseEvent* event) {
    // Closed only by the operation that showed it.
    event->ignore();
}

void TWmessage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    qv::centerOnScreen(this);
}
