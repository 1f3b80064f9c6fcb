// A horizontal bar chart for the statistics windows: one bar per row with
// its name on the left and its value at the bar's end. The same layout is
// painted on the screen, on a printer page, into a PNG picture and written
// as an SVG file.
#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <vector>

class QPainter;
class QPushButton;

namespace qv {

struct ChartBar {
    QString label;
    double value = 0;
    QString valueText;  // as shown at the bar's end
};

// One piece of a laid-out chart.
struct ChartItem {
    enum Kind { Box, Text } kind = Box;
    QRectF rect;
    QColor color;
    QString text;  // Text: the line, drawn in `rect`
    Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter;
    bool bold = false;
};

// Lays out `bars` under `title` in a `size` area with `font`.
std::vector<ChartItem> layoutBarChart(const QString& title, const std::vector<ChartBar>& bars,
                                      const QSizeF& size, const QFont& font);
void paintChart(QPainter& p, const std::vector<ChartItem>& items, const QFont& font);
// A standalone SVG document of the items.
QByteArray chartSvg(const std::vector<ChartItem>& items, const QSizeF& size, const QFont& font);

class BarChart : public QWidget {
    Q_OBJECT

  public:
    explicit BarChart(QWidget* parent = nullptr);

    void setChart(const QString& title, std::vector<ChartBar> bars);
    const QString& title() const { return m_title; }
    const std::vector<ChartBar>& bars() const { return m_bars; }

    // The size the chart is written and printed at: wide enough for long
    // names, one row per bar.
    QSize pictureSize() const;
    // The chart as a picture, `scale` times its size.
    QImage picture(int scale = 1) const;
    QByteArray svg() const;
    // Writes the chart as PNG or SVG, by the name's suffix; false when the
    // file could not be written.
    bool save(const QString& fileName) const;

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QString m_title;
    std::vector<ChartBar> m_bars;
};

// A chart with its two buttons, "Drucken..." and "Speichern...".
class ChartPanel : public QWidget {
    Q_OBJECT

  public:
    explicit ChartPanel(QWidget* parent = nullptr);
    BarChart* chart = nullptr;
    QPushButton* BtnDrucken = nullptr;
    QPushButton* BtnSpeichern = nullptr;

  public slots:
    void BtnDruckenClick();
    void BtnSpeichernClick();
};

}  // namespace qv
