#include "output/ui/outputcommands.h"

#include <QPageSize>
#include <QPrintDialog>

#include "catalogue/settingslist.h"
#include "output/core/labelreport.h"
#include "output/core/listreport.h"
#include "output/ui/previewform.h"
#include "output/ui/stddrucker.h"

namespace qv {

OutputCommands::OutputCommands(QWidget* parent, std::function<OutputContext()> context)
    : QObject(parent),
      m_parent(parent),
      m_context(std::move(context)),
      m_printer(QPrinter::HighResolution),
      m_preview([this] { return std::make_unique<TPreviewForm>(m_parent); }),
      m_labels([this] {
          OutputContext c = m_context();
          auto form = std::make_unique<TDrEtikett>(c.entryTable, c.progress);
          form->QuickReport.previewHandler = [this](report::Report& r) {
              m_preview.get().showReport(r);
          };
          return form;
      }),
      m_list([this] {
          OutputContext c = m_context();
          auto form = std::make_unique<TdrListe>(c.entryTable, c.progress);
          form->QuickReport.previewHandler = [this](report::Report& r) {
              m_preview.get().showReport(r);
          };
          return form;
      }),
      m_settings([this] { return std::make_unique<TstdDrucker>(m_parent); }) {
    setObjectName(QStringLiteral("OutputCommands"));
    m_printer.setPageSize(QPageSize(QPageSize::A4));
    printDialog = [this](QPrinter& printer) {
        QPrintDialog dialog(&printer, m_parent);
        dialog.setObjectName(QStringLiteral("PrintDialog1"));
        return dialog.exec() == QDialog::Accepted;
    };
}

OutputCommands::~OutputCommands() = default;

bool OutputCommands::runPrintDialog() {
    return printDialog && printDialog(m_printer);
}

namespace {

QString printerName(const QPrinter& p) {
    if (p.outputFormat() == QPrinter::PdfFormat || !p.outputFileName().isEmpty())
        return p.outputFileName();
    return p.printerName();
}

}  // namespace

void OutputCommands::spbtetikettClick() {
    TDrEtikett& form = m_labels.get();
    m_preview.get();
    if (!runPrintDialog()) return;
    form.QuickReport.setPrinter(&m_printer, printerName(m_printer));
    OutputContext c = m_context();
    previewLabels(form, c.list, c.settings);
}

void OutputCommands::spblisteClick() {
    TdrListe& form = m_list.get();
    m_preview.get();
    if (!runPrintDialog()) return;
    form.QuickReport.setPrinter(&m_printer, printerName(m_printer));
    OutputContext c = m_context();
    previewList(form, c.list);
}

void OutputCommands::spdbtn_druck_einstellClick() {
    TstdDrucker& dialog = m_settings.get();
    OutputContext c = m_context();
    dialog.readLines(c.settings);
    if (dialog.exec() == QDialog::Accepted) dialog.writeLines(c.settings);
}

}  // namespace qv
