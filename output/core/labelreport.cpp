#include "output/core/labelreport.h"

#include <QPageLayout>

#include <algorithm>

#include "catalogue/settingslist.h"
#include "store/xbase/error.h"

namespace qv {

LabelDefinition readLabelDefinition(const SettingsList& settings) {
    LabelDefinition d;
    d.columns = settings.lineAsInt(14);
    d.gapMm = settings.lineAsInt(16);
    d.leftMm = settings.lineAsInt(15);
    d.heightMm = settings.lineAsInt(17);
    d.topMm = settings.lineAsInt(18);
    return d;
}

}  // namespace qv

using qv::report::Align;
using qv::report::FontSpec;
using qv::report::ReportLabel;

TDrEtikett::TDrEtikett(TTable& entryTable, qv::ProgressDisplay& progress)
    : TEntryReport(entryTable, progress) {
    // Label sheets are used to their edges: no page margins of their own.
    QuickReport.setMargins(QMarginsF());
    Detail = &QuickReport.detail(QStringLiteral("Detail"), qv::labelUnits(42));
    const QString times = QStringLiteral("Times New Roman");
    const int title = QuickReport.font(FontSpec{times, 16, true});
    const int plain = QuickReport.font(FontSpec{times, 13, false});
    const int bold = QuickReport.font(FontSpec{times, 13, true});
    auto add = [this](const char* name, double x, double y, int font, const QString& text = {}) {
        return Detail->add(ReportLabel{QLatin1String(name), x, y, Align::Left, font, -1,
                                       qv::report::FieldKind::Text, text});
    };
    labelBezeich = add("labelBezeich", 4, 0, title);
    add("QRLabel3", 4, 20, plain, QStringLiteral("Kategorie:"));
    LabelKategorie = add("LabelKategorie", 64, 20, bold);
    add("QRLabel4", 4, 36, plain, QStringLiteral("Box:"));
    labelboxnummer = add("labelboxnummer", 64, 36, plain);
    add("QRLabel5", 4, 52, plain, QStringLiteral("Nummer:"));
    labelDisknummer = add("labelDisknummer", 64, 52, plain);
}

namespace {

// Raises the error for a definition that leaves no room on the paper.
[[noreturn]] void noRoom(const QSizeF& paperMm, const char* setting, long long value) {
    throw qv::Error(qv::ErrorCode::InvalidArgument,
                    QStringLiteral("Die Etiketten passen nicht auf das Blatt (%1 × %2 mm): \"%3\" "
                                   "ist mit %4 zu groß (Drucker - Vorgaben)")
                        .arg(qRound(paperMm.width()))
                        .arg(qRound(paperMm.height()))
                        .arg(QString::fromUtf8(setting))
                        .arg(value)
                        .toStdString());
}

}  // namespace

void TDrEtikett::applyDefinition(const qv::LabelDefinition& d) {
    if (d.heightMm < 1)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Die Höhe eines Etiketts muss mindestens 1 mm betragen "
                        "(Drucker - Vorgaben)");
    // Whether the labels fit the paper, in whole millimetres as the settings
    // hold them (no unit conversion that could overflow).
    const QSizeF paper = QuickReport.pageLayout().fullRect(QPageLayout::Millimeter).size();
    const long long columns = d.columns >= 1 ? d.columns : QuickReport.columns();
    const long long left = std::max(0, d.leftMm);
    const long long gap = std::max(0, d.gapMm);
    const long long top = std::max(0, d.topMm);
    const double minWidth = kMinLabelWidthMm;
    if (static_cast<double>(top) + 1 > paper.height())
        noRoom(paper, "Rand oben bis zu ersten Etikett (mm)", top);
    if (static_cast<double>(top + d.heightMm) > paper.height())
        noRoom(paper, "Höhe eines Etiketts (mm)", d.heightMm);
    if (static_cast<double>(left) + minWidth > paper.width())
        noRoom(paper, "Rand links bis zu ersten Etikett (mm)", left);
    if (static_cast<double>(left) + static_cast<double>(columns) * minWidth > paper.width())
        noRoom(paper, "Anzahl Etiketten-Bahnen", columns);
    if (static_cast<double>(left) + static_cast<double>(columns) * minWidth +
            static_cast<double>((columns - 1) * gap) >
        paper.width())
        noRoom(paper, "Rand zwischen den Bahnen (mm)", gap);

    if (d.columns >= 1) QuickReport.setColumns(d.columns);
    QuickReport.setLeftMarginMm(static_cast<double>(left));
    QuickReport.setColumnMarginMm(static_cast<double>(gap));
    Detail->setHeight(qv::labelUnits(d.heightMm));
    // The top margin stands above the first row of every sheet.
    QMarginsF m = QuickReport.margins();
    m.setTop(qv::labelUnits(static_cast<int>(top)));
    QuickReport.setMargins(m);
}

void TDrEtikett::fillDetail() {
    labelBezeich->text = fieldText("BEZEICH");
    LabelKategorie->text = fieldText("KATEGORIE");
    labelboxnummer->text = fieldText("BOXNUMMER");
    labelDisknummer->text = fieldText("DISKNUMMER");
}
