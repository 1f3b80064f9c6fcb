#include "output/ui/pageview.h"

#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

#include "output/core/render.h"

namespace qv {

namespace {
constexpr int kSheetGap = 8;  // grey border around the sheet
constexpr int kMinZoom = 10;
constexpr int kMaxZoom = 300;
}  // namespace

class PageView::Sheet : public QWidget {
  public:
    explicit Sheet(PageView& view) : QWidget(&view), m_view(view) {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter p(this);
        p.fillRect(event->rect(), palette().color(QPalette::Dark));
        const report::Document* doc = m_view.m_doc;
        if (!doc) return;
        const double scale = m_view.m_zoom / 100.0;
        const QRectF paper(kSheetGap, kSheetGap, doc->pageSize.width() * scale,
                           doc->pageSize.height() * scale);
        p.fillRect(paper, Qt::white);
        p.setPen(Qt::black);
        p.drawRect(paper.adjusted(-0.5, -0.5, 0.5, 0.5));
        p.setClipRect(paper.intersected(QRectF(event->rect())));
        p.translate(paper.topLeft());
        p.setRenderHint(QPainter::TextAntialiasing);
        report::renderPage(p, *doc, m_view.m_page - 1, scale);
    }

  private:
    PageView& m_view;
};

PageView::PageView(QWidget* parent) : QScrollArea(parent) {
    setObjectName(QStringLiteral("QRPreview1"));
    m_sheet = new Sheet(*this);
    setWidget(m_sheet);
    setWidgetResizable(false);
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setBackgroundRole(QPalette::Dark);
    resizeSheet();
}

int PageView::pageCount() const {
    return m_doc ? m_doc->pageCount() : 0;
}

void PageView::setDocument(const report::Document* doc) {
    m_doc = doc;
    m_page = 1;
    resizeSheet();
    m_sheet->update();
}

void PageView::setPageNumber(int page) {
    if (page < 1 || page > pageCount() || page == m_page) return;
    m_page = page;
    m_sheet->update();
}

void PageView::setZoom(int percent) {
    percent = std::clamp(percent, kMinZoom, kMaxZoom);
    if (percent == m_zoom) return;
    m_zoom = percent;
    resizeSheet();
    m_sheet->update();
}

int PageView::zoomToWidth() {
    if (m_doc && m_doc->pageSize.width() > 0) {
        const int room =
            viewport()->width() - 2 * kSheetGap - verticalScrollBar()->sizeHint().width();
        setZoom(static_cast<int>(std::floor(room * 100.0 / m_doc->pageSize.width())));
    }
    return m_zoom;
}

int PageView::zoomToFit() {
    if (m_doc && m_doc->pageSize.width() > 0 && m_doc->pageSize.height() > 0) {
        const double w =
            (width() - 2 * frameWidth() - 2 * kSheetGap) * 100.0 / m_doc->pageSize.width();
        const double h =
            (height() - 2 * frameWidth() - 2 * kSheetGap) * 100.0 / m_doc->pageSize.height();
        setZoom(static_cast<int>(std::floor(std::min(w, h))));
    }
    return m_zoom;
}

void PageView::resizeSheet() {
    QSizeF size(595, 842);
    if (m_doc) size = m_doc->pageSize;
    const double scale = m_zoom / 100.0;
    m_sheet->resize(static_cast<int>(std::ceil(size.width() * scale)) + 2 * kSheetGap,
                    static_cast<int>(std::ceil(size.height() * scale)) + 2 * kSheetGap);
}

}  // namespace qv
