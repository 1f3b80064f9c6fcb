#include "output/core/listreport.h"

using qv::report::Align;
using qv::report::FieldKind;
using qv::report::FontSpec;
using qv::report::ReportLabel;

namespace {

// Where each column's text is cut off, so that a long text never runs into
// the next column: left-aligned columns end a few units before the next one
// begins, right-aligned ones begin after the previous one ends.
constexpr double kTitleEnd = 168;     // category starts at 172
constexpr double kCategoryEnd = 312;  // box numbers (five digits) start near 320
constexpr double kBoxStart = 312;
constexpr double kNumberStart = 362;
constexpr double kTypeEnd = 530;  // the count's title starts near 538
constexpr double kCountStart = 532;
constexpr double kPageNumberStart = 580;

}  // namespace

TdrListe::TdrListe(TTable& entryTable, qv::ProgressDisplay& progress)
    : TEntryReport(entryTable, progress) {
    const QString arial = QStringLiteral("Arial");
    const int plain = QuickReport.font(FontSpec{arial, 11, false});
    const int bold = QuickReport.font(FontSpec{arial, 11, true});
    auto label = [](qv::report::Band* band, const char* name, double x, double y, Align align,
                    int font, double limit, const QString& text = {},
                    FieldKind kind = FieldKind::Text) {
        return band->add(ReportLabel{QLatin1String(name), x, y, align, font, limit, kind, text});
    };

    PageHeader = &QuickReport.pageHeader(QStringLiteral("PageHeader"), 31);
    label(PageHeader, "QRLabel1", 16, 4, Align::Left, bold, kTitleEnd,
          QStringLiteral("Bezeichnung"));
    label(PageHeader, "QRLabel2", 172, 4, Align::Left, bold, kCategoryEnd,
          QStringLiteral("Kategorie"));
    label(PageHeader, "QRLabel4", 353, 4, Align::Right, bold, kBoxStart, QStringLiteral("Box"));
    label(PageHeader, "QRLabel5", 437, 4, Align::Right, bold, kNumberStart,
          QStringLiteral("Nummer"));
    label(PageHeader, "QRLabel6", 456, 4, Align::Left, bold, kTypeEnd,
          QStringLiteral("Datenträger"));
    label(PageHeader, "QRLabel7", 573, 4, Align::Right, bold, kCountStart,
          QStringLiteral("Anzahl"));
    label(PageHeader, "PageNumber", 697, 4, Align::Right, bold, kPageNumberStart,
          QStringLiteral("Seite:"), FieldKind::PageNumber);

    Detail = &QuickReport.detail(QStringLiteral("Detail"), 17);
    Labelbezeich = label(Detail, "Labelbezeich", 16, 4, Align::Left, plain, kTitleEnd);
    labelkategorie = label(Detail, "labelkategorie", 172, 4, Align::Left, plain, kCategoryEnd);
    labelboxnummer = label(Detail, "labelboxnummer", 354, 4, Align::Right, plain, kBoxStart);
    labeldisknummer = label(Detail, "labeldisknummer", 435, 4, Align::Right, plain, kNumberStart);
    labeldiskart = label(Detail, "labeldiskart", 456, 4, Align::Left, plain, kTypeEnd);
    labelanz = label(Detail, "labelanz", 575, 4, Align::Right, plain, kCountStart);

    PageFooter = &QuickReport.pageFooter(QStringLiteral("PageFooter"), 40);
    label(PageFooter, "QRDateTime", 705, 16, Align::Right, plain, -1,
          QStringLiteral("Zeitpunkt des Ausdrucks: "), FieldKind::DateTime);
}

void TdrListe::fillDetail() {
    Labelbezeich->text = fieldText("BEZEICH");
    labelkategorie->text = fieldText("KATEGORIE");
    labelboxnummer->text = fieldText("BOXNUMMER");
    labeldisknummer->text = fieldText("DISKNUMMER");
    labeldiskart->text = fieldText("DISKART");
    labelanz->text = fieldText("PROGDSKS");
}
