#include "ui/introform.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

#include "ui/windowutil.h"

TIntroForm::TIntroForm(QWidget* parent)
    : QWidget(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("IntroForm"));
    setWindowTitle(QStringLiteral("QV-TESSARIN 32Bit"));
    qv::setTealBackground(this);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(qv::programIcon().pixmap(64, 64));
    Image1->setFixedSize(64, 64);
    Image1->setScaledContents(true);

    Label2 = new QLabel(QStringLiteral("Status: "), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);

    Label1 = new QLabel(QStringLiteral("Datenbank öffnen, Index-Daten laden ..."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setMinimumWidth(300);

    Gauge1 = new QProgressBar(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setRange(0, 100);
    Gauge1->setValue(0);
    Gauge1->setVisible(false);
    // The bar keeps its place while it is hidden.
    QSizePolicy keep = Gauge1->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    Gauge1->setSizePolicy(keep);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 16);
    grid->setHorizontalSpacing(12);
    grid->addWidget(Image1, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(Label2, 0, 1);
    grid->addWidget(Label1, 0, 2);
    grid->addWidget(Gauge1, 1, 1, 1, 2);
    grid->setColumnStretch(2, 1);
    setFixedSize(480, 120);
}

// The texts change while long engine operations run: draw them at once.
void TIntroForm::setStepText(const QString& text) {
    Label1->setText(text);
    if (Label1->isVisible()) Label1->repaint();
}
void TIntroForm::setStatusText(const QString& text) {
    Label2->setText(text);
    if (Label2->isVisible()) Label2->repaint();
}

void TIntroForm::showNow() {
    show();
    raise();
    repaint();
    qv::letMessagesRun();
}

void TIntroForm::closeNow() {
    hide();
}

void TIntroForm::showGauge() {
    Gauge1->setVisible(true);
    repaint();
}

void TIntroForm::hideGauge() {
    Gauge1->setVisible(false);
}

void TIntroForm::announceSteps(int n) {
    m_progress.announceSteps(n);
}
void TIntroForm::setStep(int i) {
    m_progress.setStep(i);
}

void TIntroForm::reportProgress(int percent) {
    Gauge1->setValue(m_progress.valueFor(percent));
    // The engine reports from inside a long operation: draw at once.
    if (Gauge1->isVisible()) Gauge1->repaint();
}

void TIntroForm::closeEvent(QCloseEvent* event) {
    // The user cannot close the window; the program hides it.
    event->ignore();
}

void TIntroForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    qv::centerOnScreen(this);
}
