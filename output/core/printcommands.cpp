#include "output/core/printcommands.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QPageSize>
#include <QPdfWriter>

#include <memory>
#include <ostream>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/settingslist.h"
#include "output/core/labelreport.h"
#include "output/core/listreport.h"
#include "store/displays.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"

namespace qv {

KeepEntryList::KeepEntryList(const EntryListViews& v)
    : m_position(v.entryApollo), m_files(v.files), m_entries(v.entries) {}

KeepEntryList::~KeepEntryList() = default;

void previewLabels(TDrEtikett& form, const EntryListViews& list, const SettingsList& settings) {
    KeepEntryList keep(list);
    form.applyDefinition(readLabelDefinition(settings));
    form.QuickReport.preview();
}

void previewList(TdrListe& form, const EntryListViews& list) {
    KeepEntryList keep(list);
    form.QuickReport.preview();
}

void printCatalogueToPdf(const QString& dir, ReportKind kind, const QString& pdfPath) {
    SettingsList settings;
    if (kind == ReportKind::Labels) settings.load(withTrailingSeparator(dir));
    TDM dm(dir);
    CatalogueSession session(dm);
    TTable& entries = session.table(CatalogueTable::Entries);
    entries.Open();
    TApollo& list = session.apollo(CatalogueTable::Entries);
    list.sx_SetOrder(tagPosition(CatalogueTable::Entries, QStringLiteral("bezeich")));
    list.sx_GoTop();
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

int runPrintTool(const std::vector<std::string>& args, std::ostream& err) {
    if (args.size() != 3 || (args[1] != "labels" && args[1] != "list")) {
        err << "Aufruf: qvdb " << kPrintToolUsage << "\n";
        return 1;
    }
    // Fonts and PDF files need a GUI application; the tool's own is one.
    // Called in-process without any, one is made on the offscreen platform.
    std::unique_ptr<QGuiApplication> app;
    if (!QCoreApplication::instance()) {
        static int argc = 3;
        static char arg0[] = "qvdb", arg1[] = "-platform", arg2[] = "offscreen";
        static char* argv[] = {arg0, arg1, arg2, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
    }
    printCatalogueToPdf(QString::fromStdString(args[0]),
                        args[1] == "labels" ? ReportKind::Labels : ReportKind::List,
                        QString::fromStdString(args[2]));
    return 0;
}

}  // namespace qv
