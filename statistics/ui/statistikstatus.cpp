#include "statistics/ui/statistikstatus.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "statistics/ui/barchart.h"
#include "ui/windowutil.h"

Tstatistik_status::Tstatistik_status(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("statistik_status"));
    setWindowTitle(QStringLiteral("Statistik - Kategorien"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameShape(QFrame::StyledPanel);
    panel->setFrameShadow(QFrame::Sunken);
    auto* lines = new QVBoxLayout(panel);
    // The counts are padded with blanks: a fixed-pitch font keeps them in a column.
    QFont mono(QStringLiteral("Courier New"));
    mono.setStyleHint(QFont::TypeWriter);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        auto* l = new QLabel(panel);
        l->setObjectName(QStringLiteral("Label%1").arg(i + 1));
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        l->setFont(mono);
        l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 52);
        lines->addWidget(l);
        labels[i] = l;
    }

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addStretch(1);

    Chart1 = new qv::ChartPanel(this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->chart->setMinimumSize(420, 300);
    auto* numbers = new QHBoxLayout;
    numbers->addWidget(panel);
    numbers->addWidget(Chart1, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(numbers);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void Tstatistik_status::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!m_centred) {
        m_centred = true;
        qv::centerOnScreen(this);
    }
    BitBtn1->setFocus(Qt::OtherFocusReason);
}
