// What the label and the list report have in common: a report over the
// entries the main list shows, walked through the form's own view and engine
// access object on the entry table (so in the table's current order and
// subset), with a counter on the progress window.
//
// The forms are never shown; they carry their report `QuickReport`, whose
// before-print and need-data callbacks are QuickReportBeforePrint() and
// QuickReportNeedData().
#pragma once

#include <QString>

#include <optional>

#include "output/core/report.h"

class TApollo;
class TDataSource;
class TTable;

#include "store/displays.h"

class TEntryReport {
  public:
    // `entryTable` is the data module's entry table.
    TEntryReport(TTable& entryTable, qv::ProgressDisplay& progress);
    virtual ~TEntryReport();
    TEntryReport(const TEntryReport&) = delete;
    TEntryReport& operator=(const TEntryReport&) = delete;

    qv::report::Report QuickReport;
    TDataSource* DataSource1 = nullptr;
    TApollo* Apollo1 = nullptr;

    // The rows (labels or lines) of the current run so far.
    int counter() const { return m_counter; }

    // Start of each run: the first entry, the counter at 0, the progress
    // window with "Etiketten werden erstellt ...".
    void QuickReportBeforePrint();
    // Once per row: answers whether there is an entry; fills the detail band
    // from it and steps to the next one. The progress window closes with the
    // last answer.
    bool QuickReportNeedData();

  protected:
    // Sets the detail band's texts from the current entry.
    virtual void fillDetail() = 0;
    // The text of an entry field as the report shows it: character fields as
    // stored (trailing blanks included), numbers in plain decimal form.
    QString fieldText(const char* field) const;

  private:
    TTable& m_table;
    qv::ProgressDisplay& m_progress;
    // Shown from the start of a run until its last row (or an error).
    std::optional<qv::ScopedProgress> m_shown;
    int m_counter = 0;
};
