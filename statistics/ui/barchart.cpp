#include "statistics/ui/barchart.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QImage>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

#include "ui/dialogs.h"

namespace qv {

namespace {

const QColor kTeal(0, 128, 128);
const QColor kGrid(200, 200, 200);
constexpr double kMargin = 10;

QString svgText(const QString& s) {
    return s.toHtmlEscaped();
}

QString number(double v) {
    return QString::number(v, 'f', 1);
}

}  // namespace

std::vector<ChartItem> layoutBarChart(const QString& title, const std::vector<ChartBar>& bars,
                                      const QSizeF& size, const QFont& font) {
    std::vector<ChartItem> items;
    const QFontMetricsF fm(font);
    const double line = fm.height();
    const double titleHeight = line * 1.6;
    items.push_back({ChartItem::Text,
                     QRectF(kMargin, kMargin, size.width() - 2 * kMargin, titleHeight), Qt::black,
                     title, Qt::AlignLeft | Qt::AlignVCenter, true});
    if (bars.empty()) {
        items.push_back(
            {ChartItem::Text,
             QRectF(kMargin, kMargin + titleHeight, size.width() - 2 * kMargin, line * 2),
             Qt::darkGray, QStringLiteral("Keine Werte"), Qt::AlignLeft | Qt::AlignVCenter, false});
        return items;
    }
    double labelWidth = 0, valueWidth = 0, maximum = 0;
    for (const ChartBar& b : bars) {
        labelWidth = std::max(labelWidth, fm.horizontalAdvance(b.label));
        valueWidth = std::max(valueWidth, fm.horizontalAdvance(b.valueText));
        maximum = std::max(maximum, b.value);
    }
    const double inner = size.width() - 2 * kMargin;
    labelWidth = std::min(labelWidth + line * 0.5, inner * 0.4);
    const double x0 = kMargin + labelWidth;
    const double barSpace = std::max(10.0, inner - labelWidth - valueWidth - line);
    const double top = kMargin + titleHeight;
    const double rowHeight =
        std::max(line * 1.4, (size.height() - top - kMargin) / double(bars.size()));
    const double rows = std::min(rowHeight, line * 2.2);
    // The axis.
    items.push_back(
        {ChartItem::Box, QRectF(x0, top, 1, rows * double(bars.size())), kGrid, {}, {}, false});
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const ChartBar& b = bars[i];
        const double y = top + rows * double(i);
        items.push_back({ChartItem::Text, QRectF(kMargin, y, labelWidth - line * 0.5, rows),
                         Qt::black, fm.elidedText(b.label, Qt::ElideRight, labelWidth - line * 0.5),
                         Qt::AlignRight | Qt::AlignVCenter, false});
        const double w = maximum > 0 ? std::max(0.0, b.value / maximum * barSpace) : 0;
        const double h = rows * 0.7;
        if (w > 0)
            items.push_back(
                {ChartItem::Box, QRectF(x0 + 1, y + (rows - h) / 2, w, h), kTeal, {}, {}, false});
        items.push_back({ChartItem::Text,
                         QRectF(x0 + 1 + w + line * 0.3, y, valueWidth + line, rows), Qt::black,
                         b.valueText, Qt::AlignLeft | Qt::AlignVCenter, false});
    }
    return items;
}

void paintChart(QPainter& p, const std::vector<ChartItem>& items, const QFont& font) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (const ChartItem& it : items) {
        if (it.kind == ChartItem::Box) {
            p.fillRect(it.rect, it.color);
            continue;
        }
        QFont f = font;
        f.setBold(it.bold);
        p.setFont(f);
        p.setPen(it.color);
        p.drawText(it.rect, it.align.toInt() | Qt::TextSingleLine, it.text);
    }
    p.restore();
}

QByteArray chartSvg(const std::vector<ChartItem>& items, const QSizeF& size, const QFont& font) {
    const double px = QFontInfo(font).pixelSize();
    QString s =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%2\" "
            "viewBox=\"0 0 %1 %2\" font-family=\"%3, sans-serif\" font-size=\"%4\">\n"
            "<rect width=\"100%\" height=\"100%\" fill=\"#ffffff\"/>\n")
            .arg(number(size.width()), number(size.height()), svgText(font.family()), number(px));
    for (const ChartItem& it : items) {
        if (it.kind == ChartItem::Box) {
            s +=
                QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
                    .arg(number(it.rect.x()), number(it.rect.y()), number(it.rect.width()),
                         number(it.rect.height()), it.color.name());
            continue;
        }
        const bool right = it.align.testFlag(Qt::AlignRight);
        const double x = right ? it.rect.right() : it.rect.left();
        const double y = it.rect.center().y() + px * 0.3;
        s += QStringLiteral("<text x=\"%1\" y=\"%2\" fill=\"%3\"%4%5>%6</text>\n")
                 .arg(number(x), number(y), it.color.name(),
                      right ? QStringLiteral(" text-anchor=\"end\"") : QString(),
                      it.bold ? QStringLiteral(" font-weight=\"bold\"") : QString(),
                      svgText(it.text));
    }
    s += QStringLiteral("</svg>\n");
    return s.toUtf8();
}

// ---- the widget --------------------------------------------------------------------------

BarChart::BarChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("BarChart"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::white);
    setPalette(p);
    setMinimumSize(280, 200);
}

void BarChart::setChart(const QString& title, std::vector<ChartBar> bars) {
    m_title = title;
    m_bars = std::move(bars);
    updateGeometry();
    update();
}

QSize BarChart::pictureSize() const {
    const QFontMetricsF fm(font());
    double label = 0, value = 0;
    for (const ChartBar& b : m_bars) {
        label = std::max(label, fm.horizontalAdvance(b.label));
        value = std::max(value, fm.horizontalAdvance(b.valueText));
    }
    const int width = std::clamp(int(label + value + 420), 560, 1400);
    const int height = int(
        2 * kMargin + fm.height() * (1.6 + 1.8 * double(std::max<std::size_t>(1, m_bars.size()))));
    return {width, height};
}

QSize BarChart::sizeHint() const {
    const QSize s = pictureSize();
    return {std::min(s.width(), 520), std::min(s.height(), 560)};
}

QImage BarChart::picture(int scale) const {
    const QSize size = pictureSize();
    QImage image(size * scale, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.scale(scale, scale);
    paintChart(p, layoutBarChart(m_title, m_bars, size, font()), font());
    return image;
}

QByteArray BarChart::svg() const {
    const QSize size = pictureSize();
    return chartSvg(layoutBarChart(m_title, m_bars, size, font()), size, font());
}

bool BarChart::save(const QString& fileName) const {
    if (QFileInfo(fileName).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0) {
        QFile f(fileName);
        return f.open(QIODevice::WriteOnly) && f.write(svg()) >= 0 && f.flush();
    }
    return picture().save(fileName, "PNG");
}

void BarChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintChart(p, layoutBarChart(m_title, m_bars, size(), font()), font());
}

// ---- the panel ---------------------------------------------------------------------------

ChartPanel::ChartPanel(QWidget* parent) : QWidget(parent) {
    chart = new BarChart(this);
    BtnDrucken = new QPushButton(QStringLiteral("&Drucken..."), this);
    BtnDrucken->setObjectName(QStringLiteral("BtnDrucken"));
    BtnDrucken->setAutoDefault(false);
    BtnSpeichern = new QPushButton(QStringLiteral("Als &Bild speichern..."), this);
    BtnSpeichern->setObjectName(QStringLiteral("BtnSpeichern"));
    BtnSpeichern->setAutoDefault(false);
    connect(BtnDrucken, &QPushButton::clicked, this, &ChartPanel::BtnDruckenClick);
    connect(BtnSpeichern, &QPushButton::clicked, this, &ChartPanel::BtnSpeichernClick);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(BtnDrucken);
    buttons->addWidget(BtnSpeichern);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(chart, 1);
    layout->addLayout(buttons);
}

void ChartPanel::BtnDruckenClick() {
    QPrinter printer(QPrinter::HighResolution);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted) return;
    // The picture at three times its size, fitted into the page.
    const QImage image = chart->picture(3);
    QPainter p(&printer);
    const QRect page(QPoint(0, 0),
                     printer.pageLayout().paintRectPixels(printer.resolution()).size());
    const QSize fitted = image.size().scaled(page.size(), Qt::KeepAspectRatio);
    p.drawImage(QRect(page.topLeft(), fitted), image);
}

void ChartPanel::BtnSpeichernClick() {
    QString selected;
    const QString name = QFileDialog::getSaveFileName(
        this, QStringLiteral("Als Bild speichern"), QString(),
        QStringLiteral("PNG-Bild (*.png);;SVG-Grafik (*.svg)"), &selected);
    if (name.isEmpty()) return;
    QString file = name;
    if (QFileInfo(file).suffix().isEmpty())
        file += selected.contains(QLatin1String("svg")) ? QStringLiteral(".svg")
                                                        : QStringLiteral(".png");
    if (!chart->save(file))
        message(QStringLiteral("Die Datei %1 konnte nicht geschrieben werden.").arg(file),
                QStringLiteral("Als Bild speichern"), MsgIcon::Error);
}

}  // namespace qv
