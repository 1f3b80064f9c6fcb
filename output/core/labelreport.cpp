#include "output/core/labelreport.h"

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

void TDrEtikett::applyDefinition(const qv::LabelDefinition& d) {
    if (d.columns >= 1) QuickReport.setColumns(d.columns);
    QuickReport.setLeftMarginMm(std::max(0, d.leftMm));
    QuickReport.setColumnMarginMm(std::max(0, d.gapMm));
    const int height = qv::labelUnits(d.heightMm);
    if (d.heightMm < 1)
        throw qv::Error(qv::ErrorCode::InvalidArgument,
                        "Die Höhe eines Etiketts muss mindestens 1 mm betragen "
                        "(Drucker - Vorgaben)");
    Detail->setHeight(height);
    // The top margin stands above the first row of every sheet.
    QMarginsF m = QuickReport.margins();
    m.setTop(qv::labelUnits(std::max(0, d.topMm)));
    QuickReport.setMargins(m);
}

void TDrEtikett::fillDetail() {
    labelBezeich->text = fieldText("BEZEICH");
    LabelKategorie->text = fieldText("KATEGORIE");
    labelboxnummer->text = fieldText("BOXNUMMER");
    labelDisknummer->text = fieldText("DISKNUMMER");
}
