// The label report: one label per entry, several labels across a sheet, in
// the geometry of the label definition (settings list lines 14 to 18).
#pragma once

#include "output/core/entryreport.h"

namespace qv {
class SettingsList;

// The label definition as whole numbers, as the settings list holds it.
struct LabelDefinition {
    int columns = 3;    // line 14
    int leftMm = 0;     // line 15
    int gapMm = 0;      // line 16
    int heightMm = 42;  // line 17
    int topMm = 0;      // line 18
};

// Reads lines 14, 16, 15, 17 and 18 in this order; the first line that is not
// a whole number raises the conversion error with its text, a missing line
// the list error.
LabelDefinition readLabelDefinition(const SettingsList& settings);

// A height or margin in millimetres as report units: value × 38 div 10.
inline int labelUnits(int mm) {
    return static_cast<int>(static_cast<long long>(mm) * 38 / 10);
}

}  // namespace qv

// Object of the label report form.
class TDrEtikett : public TEntryReport {
  public:
    TDrEtikett(TTable& entryTable, qv::ProgressDisplay& progress);

    // Applies a label definition: a column count below 1 keeps the previous
    // one; negative margins and gaps count as 0; a label lower than 1 mm
    // raises an error (nothing could be printed on it), and so does a
    // definition that leaves no room for a label on the report's paper (a
    // column narrower than kMinLabelWidthMm, a label row below the sheet's
    // end), naming the setting to change. Nothing is applied then.
    void applyDefinition(const qv::LabelDefinition& d);
    // The narrowest label column that still shows its captions and values.
    static constexpr double kMinLabelWidthMm = 20;

    qv::report::Band* Detail = nullptr;
    qv::report::ReportLabel* labelBezeich = nullptr;
    qv::report::ReportLabel* LabelKategorie = nullptr;
    qv::report::ReportLabel* labelboxnummer = nullptr;
    qv::report::ReportLabel* labelDisknummer = nullptr;

  protected:
    void fillDetail() override;
};
