// The list report: one line per entry with title, category, box, carrier
// number, carrier type and number of carriers; a column header with the page
// number on every page and the time of printing at every page's foot.
#pragma once

#include "output/core/entryreport.h"

// Object of the list report form.
class TdrListe : public TEntryReport {
  public:
    TdrListe(TTable& entryTable, qv::ProgressDisplay& progress);

    qv::report::Band* PageHeader = nullptr;
    qv::report::Band* Detail = nullptr;
    qv::report::Band* PageFooter = nullptr;
    qv::report::ReportLabel* Labelbezeich = nullptr;
    qv::report::ReportLabel* labelkategorie = nullptr;
    qv::report::ReportLabel* labelboxnummer = nullptr;
    qv::report::ReportLabel* labeldisknummer = nullptr;
    qv::report::ReportLabel* labeldiskart = nullptr;
    qv::report::ReportLabel* labelanz = nullptr;

  protected:
    void fillDetail() override;
};
