// The text of a PDF file as poppler's pdftotext sees it: pages with their
// size and the words on them with their boxes, in points from the page's top
// left corner. For the checks of printed reports.
#pragma once

#include <QString>

#include <vector>

namespace qvtest {

struct PdfWord {
    QString text;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};

struct PdfPage {
    double width = 0, height = 0;
    std::vector<PdfWord> words;

    // The words with this text, in reading order.
    std::vector<PdfWord> find(const QString& text) const;
    // The words on the line whose top lies within 1 pt of `yMin`, left to right.
    std::vector<PdfWord> lineAt(double yMin) const;
    // All words joined by blanks.
    QString text() const;
};

struct PdfText {
    int pageCount = 0;  // as pdfinfo reports it
    std::vector<PdfPage> pages;
};

// Runs pdfinfo and pdftotext -bbox on `path`; a failure of either fails the
// calling test (and gives an empty result).
PdfText readPdf(const QString& path);

// Report units (1/96 inch) as points.
inline double unitsToPt(double units) {
    return units * 72.0 / 96.0;
}
inline double mmToPt(double mm) {
    return mm * 72.0 / 25.4;
}

}  // namespace qvtest
