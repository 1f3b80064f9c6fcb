// A banded report engine: pages composed from bands (title, page header,
// detail, page footer) whose texts a data callback fills row by row.
//
// Units. Every position and size is in report units of 1/96 inch (screen
// pixels); a font's size is its height in those units. Margins given in
// millimetres are converted exactly (96 / 25.4 units per millimetre).
//
// A run. run() calls the before-print callback, then the need-data callback
// once per detail band until it answers false; each true answer places one
// detail band with the texts the callback has just set. Detail bands repeat
// across the report's columns (filling a row from left to right, then the
// next row) and go to a new page only when a row does not fit above the page
// footer. The title band is placed once, at the top of the first page; the
// page header at the top and the page footer at the bottom of every page. A
// report without rows still has one page. A band higher than an empty page
// is placed on a page of its own and clipped at the page's foot.
//
// Pages are kept as display lists of positioned texts (Document), never as
// pictures, and can be rendered at any scale onto any QPainter (render.h).
//
// Not thread-safe; the program has one thread.
#pragma once

#include <QDateTime>
#include <QMarginsF>
#include <QPageLayout>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class QPagedPaintDevice;

namespace qv::report {

// Report units per millimetre.
inline constexpr double kUnitsPerMm = 96.0 / 25.4;

struct FontSpec {
    QString family;
    double height = 13;  // report units
    bool bold = false;

    bool operator==(const FontSpec&) const = default;
};

enum class Align : quint8 { Left, Right };
enum class FieldKind : quint8 { Text, PageNumber, DateTime };

// One text element of a band. For a left-aligned element `x` is where the
// text starts and `limit` the band position where it is cut off; for a
// right-aligned one `x` is where the text ends and `limit` the position left
// of which it is cut off. A limit of -1 stands for the band's edge. The text
// is drawn from `y` downwards (the top of its line). A page number shows
// `text` followed by the page number, a date-time field `text` followed by
// the run's start time as "dd.MM.yyyy HH:mm:ss".
struct ReportLabel {
    QString name;
    double x = 0;
    double y = 0;
    Align align = Align::Left;
    int font = 0;  // index into Report::fonts()
    double limit = -1;
    FieldKind kind = FieldKind::Text;
    QString text;
};

class Band {
  public:
    Band(QString name, double height) : m_name(std::move(name)), m_height(height) {}

    const QString& name() const { return m_name; }
    double height() const { return m_height; }
    void setHeight(double h) { m_height = h; }

    // Adds an element; the pointer stays valid as long as the band.
    ReportLabel* add(ReportLabel label);
    const std::vector<std::unique_ptr<ReportLabel>>& labels() const { return m_labels; }

  private:
    QString m_name;
    double m_height;
    std::vector<std::unique_ptr<ReportLabel>> m_labels;
};

// A text as placed on a page: page coordinates in report units.
struct PlacedText {
    QString text;
    QRectF cell;  // the band (or label) it belongs to; nothing is drawn outside
    double x = 0;
    double y = 0;
    double limit = 0;  // see ReportLabel; page coordinates
    quint16 font = 0;
    Align align = Align::Left;
};

struct Page {
    std::vector<PlacedText> texts;
};

// The pages of one run.
struct Document {
    QSizeF pageSize;  // report units
    std::vector<FontSpec> fonts;
    std::vector<Page> pages;

    int pageCount() const { return static_cast<int>(pages.size()); }
};

class Report {
  public:
    Report();
    ~Report();
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    // ---- layout, settable before each run ----
    // The paper; A4 portrait until set.
    const QPageLayout& pageLayout() const { return m_layout; }
    void setPageLayout(const QPageLayout& layout) { m_layout = layout; }
    // Page margins in report units (10 mm on every side until set).
    const QMarginsF& margins() const { return m_margins; }
    void setMargins(const QMarginsF& m) { m_margins = m; }
    // The left page margin in millimetres.
    void setLeftMarginMm(double mm) { m_margins.setLeft(mm * kUnitsPerMm); }
    int columns() const { return m_columns; }
    void setColumns(int n) { m_columns = n < 1 ? 1 : n; }
    // The gap between two columns.
    double columnMarginMm() const { return m_columnGap / kUnitsPerMm; }
    void setColumnMarginMm(double mm) { m_columnGap = mm * kUnitsPerMm; }

    // ---- bands (each created once; a band that was never created is not printed) ----
    Band& titleBand(const QString& name = QStringLiteral("TitleBand"), double height = 0);
    Band& pageHeader(const QString& name = QStringLiteral("PageHeader"), double height = 0);
    Band& detail(const QString& name = QStringLiteral("Detail"), double height = 0);
    Band& pageFooter(const QString& name = QStringLiteral("PageFooter"), double height = 0);
    Band* titleBandIfAny() const { return m_title.get(); }

    // The index of a font for ReportLabel::font.
    int font(const FontSpec& wanted);
    const std::vector<FontSpec>& fonts() const { return m_fonts; }

    // ---- callbacks ----
    // At the start of every run, before the first need-data call.
    std::function<void()> beforePrint;
    // Once per detail band: fills the detail texts and answers whether there
    // is a row to print.
    std::function<bool()> needData;
    // Called with each page number as a page is begun.
    std::function<void(int page)> pageStarted;
    // Called when an error ends a run early (before it goes on to the caller).
    std::function<void()> runAborted;
    // Called by preview() after the run with the pages produced.
    std::function<void(Report&)> previewHandler;
    // The clock of the date-time fields (the current time until set).
    std::function<QDateTime()> clock;

    // ---- operations ----
    // One run; the pages are kept as the last produced pages.
    const Document& run();
    const Document& document() const { return m_document; }
    int pageCount() const { return m_document.pageCount(); }
    // The run's start time, as the date-time fields show it.
    const QDateTime& printedAt() const { return m_printedAt; }

    // The printer the report goes to: its paper is the report's paper.
    // Not owned; nullptr for none.
    void setPrinter(QPagedPaintDevice* printer, const QString& printerName = QString());
    QPagedPaintDevice* printer() const { return m_printer; }

    // Runs the report on the printer's paper and hands it to the preview
    // handler.
    void preview();
    // Runs the report anew and renders every page onto the printer as one
    // print job. A printer or file that cannot be started raises a qv::Error
    // before the report runs.
    void print();

  private:
    class Composer;
    friend class Composer;

    QPageLayout m_layout;
    QMarginsF m_margins;
    int m_columns = 1;
    double m_columnGap = 0;
    std::unique_ptr<Band> m_title;
    std::unique_ptr<Band> m_header;
    std::unique_ptr<Band> m_detail;
    std::unique_ptr<Band> m_footer;
    std::vector<FontSpec> m_fonts;
    QPagedPaintDevice* m_printer = nullptr;
    QString m_printerName;
    Document m_document;
    QDateTime m_printedAt;
};

// The paper size of a page layout in report units.
QSizeF pageSizeUnits(const QPageLayout& layout);

}  // namespace qv::report
