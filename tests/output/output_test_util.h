// Helpers for the output tests: a catalogue built in a temporary directory
// with entries of the test's choosing, a progress window that writes down
// what it was told, and a report printed to a PDF file.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

#include "catalogue/settingslist.h"
#include "output/core/printcommands.h"
#include "store/displays.h"
#include "support/testutil.h"

class TApollo;
class TDM;
class TTable;

namespace qv {
class CatalogueSession;
namespace report {
class Report;
}
}  // namespace qv

namespace outtest {

struct Entry {
    QString title;
    int box = 0;
    int number = 0;
    QString category = QStringLiteral("Spiele");
    QString type = QStringLiteral("CD-ROM");
    int disks = 1;
};

// Entries "Titel-001" ... with box 100 + i and carrier number i.
std::vector<Entry> numberedEntries(int n);

// A new catalogue (made by the shared catalogue builder) with the entries
// appended, opened through a session with the entry table in title order on
// its first entry, and the settings list with its defaults.
class TestCatalogue {
  public:
    explicit TestCatalogue(const std::vector<Entry>& entries = {});
    ~TestCatalogue();

    QString dir() const;
    // A path in the catalogue's directory.
    QString path(const QString& name) const;
    TDM& dm() const { return *m_dm; }
    TTable& entryTable() const;
    TApollo& entryApollo() const;
    qv::CatalogueSession& session() const { return *m_session; }
    qv::SettingsList& settings() { return m_settings; }
    // The main list: entry and file views, the entry access object.
    qv::EntryListViews list() const;
    // Sets the label definition lines 14 ... 18 (in memory).
    void setLabelLines(const QString& columns, const QString& left, const QString& gap,
                       const QString& height, const QString& top);

  private:
    qvtest::TempDir m_tmp;
    std::unique_ptr<TDM> m_dm;
    std::unique_ptr<qv::CatalogueSession> m_session;
    qv::SettingsList m_settings;
};

// A progress window that records "show", "close", "1:<text>" and "2:<text>".
class RecordingProgress : public qv::ProgressDisplay {
  public:
    void setLine1(const QString& text) override { log << QStringLiteral("1:") + text; }
    void setLine2(const QString& text) override { log << QStringLiteral("2:") + text; }
    void showProgress() override {
        log << QStringLiteral("show");
        visible = true;
    }
    void closeProgress() override {
        log << QStringLiteral("close");
        visible = false;
    }
    QStringList log;
    bool visible = false;
};

// Runs `report`'s print operation onto a new A4 PDF file at `path`.
void printToPdf(qv::report::Report& report, const QString& path);

}  // namespace outtest
