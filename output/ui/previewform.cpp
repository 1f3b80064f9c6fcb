#include "output/ui/previewform.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "output/core/report.h"
#include "output/ui/pageview.h"
#include "ui/command.h"
#include "ui/dialogs.h"
#include "ui/helpwindow.h"

namespace {

// A spin edit changed only by its arrows and the cursor keys.
QSpinBox* steppedSpinEdit(QWidget* parent, const char* name) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(QLatin1String(name));
    if (auto* edit = s->findChild<QLineEdit*>()) edit->setReadOnly(true);
    s->setKeyboardTracking(false);
    return s;
}

}  // namespace

TPreviewForm::TPreviewForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("PreviewForm"));
    setWindowTitle(QStringLiteral("QV-TESSARIN   Druck-Vorschau"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint);
    setFont(QFont(QStringLiteral("Arial")));

    m_panel = new QWidget(this);
    m_panel->setObjectName(QStringLiteral("Panel1"));
    Label2 = new QLabel(QStringLiteral("Seite:"), m_panel);
    Label2->setObjectName(QStringLiteral("Label2"));
    SpinEdit2 = steppedSpinEdit(m_panel, "SpinEdit2");
    SpinEdit2->setRange(1, 1);
    Label2->setBuddy(SpinEdit2);
    Label1 = new QLabel(QStringLiteral("Zoom:"), m_panel);
    Label1->setObjectName(QStringLiteral("Label1"));
    SpinEdit1 = steppedSpinEdit(m_panel, "SpinEdit1");
    SpinEdit1->setRange(10, 300);
    SpinEdit1->setSingleStep(10);
    SpinEdit1->setValue(100);
    Label1->setBuddy(SpinEdit1);
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QToolButton(m_panel);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        b->setMinimumWidth(80);
        return b;
    };
    SpeedButton1 = button("SpeedButton1", QStringLiteral("&Breite"));
    SpeedButton2 = button("SpeedButton2", QStringLiteral("&Vollbild"));
    SpeedButton3 = button("SpeedButton3", QStringLiteral("&Drucken"));
    auto* box = new QDialogButtonBox(QDialogButtonBox::Close, m_panel);
    BtnClose = box->button(QDialogButtonBox::Close);
    BtnClose->setObjectName(QStringLiteral("BtnClose"));
    BtnClose->setToolTip(QStringLiteral("Fenster schließen"));
    BtnClose->setAutoDefault(false);

    auto* row = new QHBoxLayout(m_panel);
    row->setContentsMargins(4, 4, 4, 4);
    for (QWidget* w : std::initializer_list<QWidget*>{Label2, SpinEdit2, Label1, SpinEdit1,
                                                      SpeedButton1, SpeedButton2, SpeedButton3})
        row->addWidget(w);
    row->addStretch(1);
    row->addWidget(box);

    QRPreview1 = new qv::PageView(this);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 0, 4, 4);
    column->setSpacing(2);
    column->addWidget(m_panel);
    column->addWidget(QRPreview1, 1);

    connect(BtnClose, &QPushButton::clicked, this, &QDialog::accept);
    qv::connectCommand(SpeedButton1, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
    qv::connectCommand(SpeedButton2, &QToolButton::clicked, this, [this] { SpeedButton2Click(); });
    qv::connectCommand(SpeedButton3, &QToolButton::clicked, this, [this] { SpeedButton3Click(); });
    qv::connectCommand(SpinEdit1, &QSpinBox::valueChanged, this, [this] { SpinEdit1Click(); });
    qv::connectCommand(SpinEdit2, &QSpinBox::valueChanged, this, [this] { SpinEdit2Change(); });
}

void TPreviewForm::showReport(qv::report::Report& report) {
    QuickReport2 = &report;
    QRPreview1->setDocument(&report.document());
    setWindowState(windowState() | Qt::WindowMaximized);
    exec();
}

void TPreviewForm::FormActivate() {
    SpinEdit1->setValue(QRPreview1->zoom());
    const int pages = QuickReport2 ? QuickReport2->pageCount() : 1;
    SpinEdit2->setMaximum(std::max(1, pages));
    SpinEdit2->setValue(1);
    QRPreview1->setPageNumber(1);
}

void TPreviewForm::SpeedButton1Click() {
    SpinEdit1->setValue(QRPreview1->zoomToWidth());
}

void TPreviewForm::SpeedButton2Click() {
    SpinEdit1->setValue(QRPreview1->zoomToFit());
}

void TPreviewForm::SpeedButton3Click() {
    if (!QuickReport2) return;
    if (qv::message(QStringLiteral("Wirklich drucken ?"), QStringLiteral("Ausdruck Etiketten"),
                    qv::MsgIcon::Question, qv::MsgButtons::YesNo) != qv::MsgAnswer::Yes)
        return;
    QuickReport2->print();
    QRPreview1->setDocument(&QuickReport2->document());
    QRPreview1->setPageNumber(SpinEdit2->value());
}

void TPreviewForm::SpinEdit1Click() {
    QRPreview1->setZoom(SpinEdit1->value());
}

void TPreviewForm::SpinEdit2Change() {
    QRPreview1->setPageNumber(SpinEdit2->value());
}

void TPreviewForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    qv::runGuarded([this] { FormActivate(); });
}

void TPreviewForm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    if (QuickReport2) qv::runGuarded([this] { SpeedButton2Click(); });
}

void TPreviewForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F1) {
        qv::showHelp(kHelpTopic);
        return;
    }
    QDialog::keyPressEvent(event);
}
