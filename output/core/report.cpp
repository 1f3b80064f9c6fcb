#include "output/core/report.h"

#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>

#include <algorithm>

#include "output/core/render.h"
#include "store/xbase/error.h"

namespace qv::report {

ReportLabel* Band::add(ReportLabel label) {
    m_labels.push_back(std::make_unique<ReportLabel>(std::move(label)));
    return m_labels.back().get();
}

QSizeF pageSizeUnits(const QPageLayout& layout) {
    // Millimetres keep the paper's exact size (points are rounded).
    return layout.fullRect(QPageLayout::Millimeter).size() * kUnitsPerMm;
}

// Places the bands of one run onto pages.
class Report::Composer {
  public:
    Composer(Report& r, Document& doc) : m_r(r), m_doc(doc) {
        m_page = pageSizeUnits(r.m_layout);
        const QMarginsF& m = r.m_margins;
        m_left = std::max(0.0, m.left());
        m_top = std::max(0.0, m.top());
        m_right = std::max(m_left, m_page.width() - std::max(0.0, m.right()));
        m_bottom = std::max(m_top, m_page.height() - std::max(0.0, m.bottom()));
        const int cols = r.m_columns;
        const double gap = std::max(0.0, r.m_columnGap);
        m_columnWidth = std::max(1.0, (m_right - m_left - (cols - 1) * gap) / cols);
        m_columnStep = m_columnWidth + gap;
    }

    void compose() {
        m_doc.pageSize = m_page;
        m_doc.fonts = m_r.m_fonts;
        m_doc.pages.clear();
        beginPage();
        if (m_r.m_title) placeFullWidth(*m_r.m_title);
        const Band* detail = m_r.m_detail.get();
        while (m_r.needData && m_r.needData()) {
            if (!detail) continue;
            if (m_column == 0) {
                const double h = detail->height();
                // A row that does not fit goes to a new page, unless it
                // already stands at the top of one.
                if (m_y + h > m_detailBottom + 1e-6 && m_y > m_contentTop + 1e-6) beginPage();
            }
            const double x = m_left + m_column * m_columnStep;
            QRectF cell(x, m_y, m_columnWidth, detail->height());
            // A band higher than the page is clipped at the page's foot.
            if (cell.bottom() > m_detailBottom) cell.setBottom(std::max(m_y, m_detailBottom));
            place(*detail, cell);
            if (++m_column >= m_r.m_columns) {
                m_column = 0;
                m_y += detail->height();
            }
        }
    }

  private:
    void beginPage() {
        m_doc.pages.emplace_back();
        m_column = 0;
        const int number = m_doc.pageCount();
        if (m_r.pageStarted) m_r.pageStarted(number);
        m_y = m_top;
        m_detailBottom = m_bottom;
        if (m_r.m_footer) {
            const double h = m_r.m_footer->height();
            m_detailBottom = std::max(m_top, m_bottom - h);
            place(*m_r.m_footer, QRectF(m_left, m_detailBottom, m_right - m_left, h));
        }
        if (m_r.m_header) placeFullWidth(*m_r.m_header);
        m_contentTop = m_y;
    }

    void placeFullWidth(const Band& band) {
        QRectF cell(m_left, m_y, m_right - m_left, band.height());
        if (cell.bottom() > m_detailBottom) cell.setBottom(std::max(m_y, m_detailBottom));
        place(band, cell);
        m_y += band.height();
    }

    void place(const Band& band, const QRectF& cell) {
        std::vector<PlacedText>& texts = m_doc.pages.back().texts;
        for (const auto& label : band.labels()) {
            QString text;
            switch (label->kind) {
                case FieldKind::Text:
                    text = label->text;
                    break;
                case FieldKind::PageNumber:
                    text = label->text + QString::number(m_doc.pageCount());
                    break;
                case FieldKind::DateTime:
                    text = label->text +
                           m_r.m_printedAt.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"));
                    break;
            }
            // Trailing blanks of a field must not shift the text.
            qsizetype n = text.size();
            while (n > 0 && text.at(n - 1) == QLatin1Char(' '))
                --n;
            if (n == 0) continue;
            text.truncate(n);
            PlacedText t;
            t.text = std::move(text);
            t.cell = cell;
            t.x = cell.left() + label->x;
            t.y = cell.top() + label->y;
            t.align = label->align;
            if (label->limit < 0)
                t.limit = label->align == Align::Left ? cell.right() : cell.left();
            else
                t.limit = cell.left() + label->limit;
            t.font = static_cast<quint16>(label->font);
            texts.push_back(std::move(t));
        }
    }

    Report& m_r;
    Document& m_doc;
    QSizeF m_page;
    double m_left = 0, m_top = 0, m_right = 0, m_bottom = 0;
    double m_columnWidth = 0, m_columnStep = 0;
    double m_y = 0;
    double m_detailBottom = 0;
    double m_contentTop = 0;  // below the page header
    int m_column = 0;
};

Report::Report()
    : m_layout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF()),
      m_margins(10 * kUnitsPerMm, 10 * kUnitsPerMm, 10 * kUnitsPerMm, 10 * kUnitsPerMm) {}

Report::~Report() = default;

namespace {

Band& ensure(std::unique_ptr<Band>& band, const QString& name, double height) {
    if (!band) band = std::make_unique<Band>(name, height);
    return *band;
}

}  // namespace

Band& Report::titleBand(const QString& name, double height) {
    return ensure(m_title, name, height);
}
Band& Report::pageHeader(const QString& name, double height) {
    return ensure(m_header, name, height);
}
Band& Report::detail(const QString& name, double height) {
    return ensure(m_detail, name, height);
}
Band& Report::pageFooter(const QString& name, double height) {
    return ensure(m_footer, name, height);
}

int Report::font(const FontSpec& wanted) {
    auto it = std::find(m_fonts.begin(), m_fonts.end(), wanted);
    if (it != m_fonts.end()) return static_cast<int>(it - m_fonts.begin());
    m_fonts.push_back(wanted);
    return static_cast<int>(m_fonts.size()) - 1;
}

const Document& Report::run() {
    m_printedAt = clock ? clock() : QDateTime::currentDateTime();
    try {
        if (beforePrint) beforePrint();
        Composer(*this, m_document).compose();
    } catch (...) {
        if (runAborted) runAborted();
        throw;
    }
    return m_document;
}

void Report::setPrinter(QPagedPaintDevice* printer, const QString& printerName) {
    m_printer = printer;
    m_printerName = printerName;
}

void Report::preview() {
    if (m_printer) m_layout = m_printer->pageLayout();
    run();
    if (previewHandler) previewHandler(*this);
}

void Report::print() {
    if (!m_printer)
        throw qv::Error(qv::ErrorCode::State, "Es ist kein Drucker für den Ausdruck gewählt");
    m_layout = m_printer->pageLayout();
    QPainter painter;
    if (!painter.begin(m_printer)) {
        const QString what = m_printerName.isEmpty()
                                 ? QStringLiteral("Der Ausdruck konnte nicht gestartet werden")
                                 : QStringLiteral(
                                       "Der Ausdruck auf \u201E%1\u201C konnte nicht "
                                       "gestartet werden")
                                       .arg(m_printerName);
        throw qv::Error(qv::ErrorCode::IoError, what.toStdString(), m_printerName.toStdString());
    }
    try {
        run();
    } catch (...) {
        painter.end();
        throw;
    }
    renderDocument(painter, *m_printer, m_document);
    painter.end();
}

}  // namespace qv::report
