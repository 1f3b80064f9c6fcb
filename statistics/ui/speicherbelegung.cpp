#include "statistics/ui/speicherbelegung.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "statistics/ui/barchart.h"
#include "ui/helpwindow.h"
#include "ui/windowutil.h"

TSpeicherbelegung::TSpeicherbelegung(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Speicherbelegung"));
    setWindowTitle(QStringLiteral("Speicherbelegung"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setSizeGripEnabled(true);

    ChartArt = new qv::ChartPanel(this);
    ChartArt->setObjectName(QStringLiteral("ChartArt"));
    ChartBox = new qv::ChartPanel(this);
    ChartBox->setObjectName(QStringLiteral("ChartBox"));
    auto* charts = new QHBoxLayout;
    charts->addWidget(ChartArt, 1);
    charts->addWidget(ChartBox, 1);

    LabelSumme = new QLabel(this);
    LabelSumme->setObjectName(QStringLiteral("LabelSumme"));
    LabelSumme->setTextFormat(Qt::PlainText);
    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(LabelSumme, 1);
    bottom->addWidget(BitBtn1);
    bottom->addWidget(qv::makeHelpButton(*this, kHelpTopic));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(charts, 1);
    layout->addLayout(bottom);
    resize(1000, 560);
}

void TSpeicherbelegung::setUse(const qv::StorageUse& use) {
    std::vector<qv::ChartBar> types;
    for (const auto& [name, bytes] : use.perCarrierType)
        types.push_back({name.isEmpty() ? QStringLiteral("(ohne Art)") : name, double(bytes),
                         qv::storageSizeText(bytes)});
    ChartArt->chart->setChart(QStringLiteral("Speicherbelegung je Datenträger-Art"),
                              std::move(types));
    std::vector<qv::ChartBar> boxes;
    for (const auto& [box, bytes] : use.perBox)
        boxes.push_back(
            {QStringLiteral("Box %1").arg(box), double(bytes), qv::storageSizeText(bytes)});
    ChartBox->chart->setChart(QStringLiteral("Speicherbelegung je Box"), std::move(boxes));
    LabelSumme->setText(QStringLiteral("Zusammen: %1 in %2 Dateien")
                            .arg(qv::storageSizeText(use.total))
                            .arg(use.files));
}

void TSpeicherbelegung::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    qv::centerOnScreen(this);
    BitBtn1->setFocus(Qt::OtherFocusReason);
}
