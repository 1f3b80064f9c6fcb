#include "output/print/printcommands.h"

#include <QFileInfo>
#include <QPageSize>
#include <QPdfWriter>

#include <memory>

#include "output/print/labelreport.h"
#include "output/print/listreport.h"
#include "shell/settingslist.h"
#include "store/displays.h"
#include "store/dm.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"

namespace qv {

KeepEntryList::KeepEntryList(const EntryListViews& v) : m_views(v) {
    m_views.files.DisableControls();
    m_views.entries.DisableControls();
    m_recno = m_views.entryApollo.sx_RecNo();
}

KeepEntryList::~KeepEntryList() {
    m_views.files.EnableControls();
    m_views.entries.EnableControls();
    try {
        m_views.entryApollo.sx_Go(m_recno);
    } catch (...) {
        // Nothing better to do while another error may be on its way.
    }
}

void previewLabels(TDrEtikett& form, const EntryListViews& list, const SettingsList& settings) {
    KeepEntryList keep(list);
    form.applyDefinition(readLabelDefinition(settings));
    form.QuickReport.preview();
}

void previewList(TdrListe& form, const EntryListViews& list) {
    KeepEntryList keep(list);
    form.QuickReport.preview();
}

class SilentProgress : public ProgressDisplay {
  public:
    void setLine1(const QString&) override {}
    void setLine2(const QString&) override {}
    void showProgress() override {}
    void closeProgress() override {}
};

void printCatalogueToPdf(const QString& dir, ReportKind kind, const QString& pdfPath) {
    SettingsList settings;
    if (kind == ReportKind::Labels) settings.load(withTrailingSeparator(dir));
    TDM dm(dir);
    TTable& entries = *dm.Table1;
    entries.setIndexName(QStringLiteral("bezeich"));
    entries.Open();
    SilentProgress progress;
    std::unique_ptr<TEntryReport> form;
    if (kind == ReportKind::Labels) {
        auto labels = std::make_unique<TDrEtikett>(entries, progress);
        labels->applyDefinition(readLabelDefinition(settings));
        form = std::move(labels);
    } else {
        form = std::make_unique<TdrListe>(entries, progress);
    }
    QPdfWriter writer(pdfPath);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    writer.setCreator(QStringLiteral("QV-Tessarin"));
    form->QuickReport.setPrinter(&writer, QFileInfo(pdfPath).absoluteFilePath());
    form->QuickReport.print();
}

}  // namespace qv
