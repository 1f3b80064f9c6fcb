// Drawing the pages of a report Document onto a QPainter: the preview's page
// view, printers, PDF writers and images share this code.
#pragma once

#include <QFont>

#include <vector>

#include "output/core/report.h"

class QPainter;
class QPaintDevice;
class QPagedPaintDevice;

namespace qv::report {

// Draws page `index` (from 0) with its top left corner at the painter's
// origin, `scale` device pixels per report unit. Fonts are sized for the
// painter's device, so text is as sharp as the device allows. A text is cut
// off, whole characters at a time, where its element's limit or its band's
// edge lies; what sticks out of the band below is clipped.
void renderPage(QPainter& painter, const Document& doc, int index, double scale);

// Renders every page onto a printer or PDF writer that `painter` is already
// active on, one sheet per page, in paper coordinates.
void renderDocument(QPainter& painter, QPagedPaintDevice& device, const Document& doc);

// A report font at a pixel height for a device.
QFont deviceFont(const FontSpec& font, double pixelHeight);

}  // namespace qv::report
