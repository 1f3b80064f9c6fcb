// The output commands of the main window: label preview, list preview and
// the print settings. The report forms, the preview window and the settings
// dialog are created on first use and kept until the program ends; the
// printer of the system print dialog (`PrintDialog1`) is kept with them.
#pragma once

#include <QObject>
#include <QPrinter>

#include <functional>
#include <memory>

#include "output/core/printcommands.h"
#include "ui/lazywindow.h"

class QWidget;
class TDrEtikett;
class TPreviewForm;
class TTable;
class TdrListe;
class TstdDrucker;

namespace qv {

// What the commands work on, asked for when a command runs.
struct OutputContext {
    SettingsList& settings;
    ProgressDisplay& progress;
    TTable& entryTable;  // the data module's entry table
    EntryListViews list;
};

class OutputCommands : public QObject {
    Q_OBJECT

  public:
    // `parent` is the main window (the dialogs' parent and the owner).
    OutputCommands(QWidget* parent, std::function<OutputContext()> context);
    ~OutputCommands() override;
    OutputCommands(const OutputCommands&) = delete;
    OutputCommands& operator=(const OutputCommands&) = delete;

    // "Vorschau - &Etikettendruck" and `spbtetikett`.
    void spbtetikettClick();
    // "Vorschau - &Listendruck" and `spbliste`.
    void spblisteClick();
    // "Drucker - &Vorgaben" and `spdbtn_druck_einstell`.
    void spdbtn_druck_einstellClick();

    // The printer chosen in the print dialog (A4 until chosen otherwise).
    QPrinter& printer() { return m_printer; }
    // Shows the system print dialog on printer(); true for OK. Tests put
    // their own answer here.
    std::function<bool(QPrinter&)> printDialog;

    TDrEtikett* labelForm() const { return m_labels.ifCreated(); }
    TdrListe* listForm() const { return m_list.ifCreated(); }
    TPreviewForm* previewForm() const { return m_preview.ifCreated(); }
    TstdDrucker* settingsDialog() const { return m_settings.ifCreated(); }

  private:
    bool runPrintDialog();

    QWidget* m_parent;
    std::function<OutputContext()> m_context;
    QPrinter m_printer;
    LazyWindow<TPreviewForm> m_preview;
    LazyWindow<TDrEtikett> m_labels;
    LazyWindow<TdrListe> m_list;
    LazyWindow<TstdDrucker> m_settings;
};

}  // namespace qv
