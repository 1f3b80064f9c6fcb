// The label and list commands without their windows: what happens between
// the print dialog and the end of the preview, and the same reports printed
// straight to a PDF file (the store tool's "print").
#pragma once

#include <QString>

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "store/guards.h"

class TApollo;
class TDataSource;
class TDrEtikett;
class TdrListe;

namespace qv {
class ProgressDisplay;
class SettingsList;

namespace report {
class Report;
}

// The main list as a report command leaves it: the views of the entry and
// file tables (suspended while the report runs) and the entry table's access
// object (whose record is remembered and restored).
struct EntryListViews {
    TDataSource& entries;
    TDataSource& files;
    TApollo& entryApollo;
};

// Suspends both views and remembers the entry list's record for its
// lifetime; on every exit, an error included, resumes the views and goes
// back to the record.
class KeepEntryList {
  public:
    explicit KeepEntryList(const EntryListViews& v);
    ~KeepEntryList();
    KeepEntryList(const KeepEntryList&) = delete;
    KeepEntryList& operator=(const KeepEntryList&) = delete;

  private:
    // Destroyed in reverse order: the views resume, then the record returns.
    ScopedPosition m_position;
    ScopedSuspend m_files;
    ScopedSuspend m_entries;
};

// The label command after the print dialog: list kept, label definition
// read and applied, preview run (its handler shows the preview window).
void previewLabels(TDrEtikett& form, const EntryListViews& list, const SettingsList& settings);
// The list command after the print dialog.
void previewList(TdrListe& form, const EntryListViews& list);

enum class ReportKind { Labels, List };

// Prints the labels or the list of the catalogue in `dir` to the PDF file
// `pdfPath` (A4): all entries in title order, the label definition from the
// settings list of `dir` (created with its defaults when missing). Raises a
// qv::Error when the catalogue cannot be opened, a label definition line is
// bad or the file cannot be written. Needs a running QGuiApplication.
void printCatalogueToPdf(const QString& dir, ReportKind kind, const QString& pdfPath);

// The store tool's "print DIR labels|list OUT.pdf" (arguments after the
// command's name): the exit status, 1 with a message on `err` for bad
// arguments. Errors of the print are raised.
int runPrintTool(const std::vector<std::string>& args, std::ostream& err);
// Its usage line.
inline constexpr const char* kPrintToolUsage = "print VERZEICHNIS labels|list AUSGABE.pdf";

}  // namespace qv
