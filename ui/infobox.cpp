#include "ui/infobox.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui/windowutil.h"

Tinfobox::Tinfobox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("infobox"));
    setWindowTitle(QStringLiteral("Info über QV-Tessarin"));
    setModal(false);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);

    auto* image = new QLabel(panel);
    image->setObjectName(QStringLiteral("Image1"));
    image->setPixmap(qv::programIcon().pixmap(64, 64));

    auto* product = new QLabel(QStringLiteral("QV-Tessarin"), panel);
    product->setObjectName(QStringLiteral("Label1"));
    QFont big = product->font();
    big.setPointSize(26);
    big.setBold(true);
    big.setItalic(true);
    product->setFont(big);
    QPalette blue = product->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    product->setPalette(blue);

    auto* contact = new QLabel(panel);
    contact->setObjectName(QStringLiteral("Label2"));
    contact->setText(
        QStringLiteral("QV-TESSARIN 97 (32 Bit)\n"
                       "Katalog für Datenträger und die Dateien darauf\n"
                       "\n"
                       "Fragen, Hinweise und Fehlerberichte bitte an das\n"
                       "Projekt QV-Tessarin."));

    auto* head = new QHBoxLayout;
    head->addWidget(image, 0, Qt::AlignTop);
    head->addWidget(product, 1, Qt::AlignVCenter);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(16, 16, 16, 16);
    panelLayout->addLayout(head);
    panelLayout->addSpacing(8);
    panelLayout->addWidget(contact);

    SpeedButton1 = new QToolButton(this);
    SpeedButton1->setObjectName(QStringLiteral("SpeedButton1"));
    SpeedButton1->setText(QStringLiteral("    &OK"));
    SpeedButton1->setIcon(QIcon(QStringLiteral(":/shell/images/ok.svg")));
    SpeedButton1->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    SpeedButton1->setMinimumWidth(110);
    connect(SpeedButton1, &QToolButton::clicked, this, &Tinfobox::SpeedButton1Click);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(SpeedButton1);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(panel);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Tinfobox::showInfo() {
    show();
    raise();
    activateWindow();
}

void Tinfobox::SpeedButton1Click() {
    hide();
}

void Tinfobox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    qv::centerOnScreen(this);
}
