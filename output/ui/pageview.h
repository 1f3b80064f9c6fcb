// The preview's page view: one page of a report's last produced pages on a
// sheet of paper, at a zoom in percent (100 % = one report unit per screen
// pixel), scrollable both ways.
#pragma once

#include <QScrollArea>

namespace qv::report {
struct Document;
}

namespace qv {

class PageView : public QScrollArea {
    Q_OBJECT

  public:
    explicit PageView(QWidget* parent = nullptr);

    // The pages shown (not owned; nullptr for none). Shows page 1.
    void setDocument(const report::Document* doc);
    const report::Document* document() const { return m_doc; }
    int pageCount() const;

    // The page shown, from 1. A number outside 1 ... pageCount() is ignored.
    int pageNumber() const { return m_page; }
    void setPageNumber(int page);

    int zoom() const { return m_zoom; }
    void setZoom(int percent);
    // The zoom at which the page's width (or the whole page) fits the
    // visible area; both set the zoom they report.
    int zoomToWidth();
    int zoomToFit();

  private:
    class Sheet;
    void resizeSheet();

    const report::Document* m_doc = nullptr;
    Sheet* m_sheet = nullptr;
    int m_page = 1;
    int m_zoom = 100;
};

}  // namespace qv
