#include "output/core/render.h"

#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPainter>

#include <cmath>

namespace qv::report {

QFont deviceFont(const FontSpec& font, double pixelHeight) {
    QFont f(font.family);
    f.setStyleHint(font.family.contains(QLatin1String("Times"), Qt::CaseInsensitive)
                       ? QFont::Serif
                       : QFont::SansSerif);
    f.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelHeight))));
    f.setBold(font.bold);
    f.setKerning(false);
    return f;
}

namespace {

struct DeviceFont {
    QFont font;
    QFontMetricsF metrics;
};

// The longest head (or tail) of `text` that is at most `room` wide.
QString cutToWidth(const QString& text, const QFontMetricsF& fm, double room, bool keepTail) {
    if (room <= 0) return QString();
    int lo = 0;
    int hi = static_cast<int>(text.size());
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        const QString part = keepTail ? text.right(mid) : text.left(mid);
        if (fm.horizontalAdvance(part) <= room)
            lo = mid;
        else
            hi = mid - 1;
    }
    return keepTail ? text.right(lo) : text.left(lo);
}

}  // namespace

void renderPage(QPainter& painter, const Document& doc, int index, double scale) {
    if (index < 0 || index >= doc.pageCount()) return;
    QPaintDevice* device = painter.device();
    std::vector<DeviceFont> fonts;
    fonts.reserve(doc.fonts.size());
    for (const FontSpec& font : doc.fonts) {
        QFont f = deviceFont(font, font.height * scale);
        fonts.push_back({f, QFontMetricsF(f, device)});
    }
    painter.save();
    painter.setPen(Qt::black);
    int current = -1;
    for (const PlacedText& t : doc.pages[static_cast<std::size_t>(index)].texts) {
        if (t.font >= fonts.size()) continue;
        const DeviceFont& df = fonts[t.font];
        if (t.font != current) {
            painter.setFont(df.font);
            current = t.font;
        }
        const double advance = df.metrics.horizontalAdvance(t.text);
        const double x = t.x * scale;
        QString text = t.text;
        double left = x;
        if (t.align == Align::Left) {
            const double room = std::min(t.limit, t.cell.right()) * scale - x;
            if (advance > room) text = cutToWidth(t.text, df.metrics, room, false);
        } else {
            const double room = x - std::max(t.limit, t.cell.left()) * scale;
            if (advance > room) {
                text = cutToWidth(t.text, df.metrics, room, true);
                left = x - df.metrics.horizontalAdvance(text);
            } else {
                left = x - advance;
            }
        }
        if (text.isEmpty()) continue;
        const double top = t.y * scale;
        const double bottom = top + df.metrics.height();
        const bool clipBelow = bottom > t.cell.bottom() * scale + 0.5;
        if (clipBelow) {
            if (top >= t.cell.bottom() * scale) continue;
            painter.setClipRect(QRectF(QPointF(t.cell.left() * scale, t.cell.top() * scale),
                                       QPointF(t.cell.right() * scale, t.cell.bottom() * scale)));
        }
        painter.drawText(QPointF(left, top + df.metrics.ascent()), text);
        if (clipBelow) painter.setClipping(false);
    }
    painter.restore();
}

void renderDocument(QPainter& painter, QPagedPaintDevice& device, const Document& doc) {
    const double scale = device.logicalDpiX() / 96.0;
    // The painter's origin is the printable area's corner; pages are drawn in
    // paper coordinates.
    const QPageLayout layout = device.pageLayout();
    const QPointF paperOrigin =
        layout.mode() == QPageLayout::FullPageMode
            ? QPointF()
            : QPointF(layout.paintRectPixels(device.logicalDpiX()).topLeft());
    for (int i = 0; i < doc.pageCount(); ++i) {
        if (i > 0) device.newPage();
        painter.save();
        painter.translate(-paperOrigin);
        renderPage(painter, doc, i, scale);
        painter.restore();
    }
}

}  // namespace qv::report
