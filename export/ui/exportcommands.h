// "Exportieren…" in the menu "Ausgabe": the export dialog, then the export
// with a progress window that can cancel it.
#pragma once

#include <QObject>

#include "ui/feature.h"

class TExportieren;

namespace qv {

class ExportCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;
    // The dialog, created on first use and kept.
    TExportieren& dialog();

  public slots:
    void Exportieren1Click();

  private:
    MainWindowHost* m_host = nullptr;
};

}  // namespace qv
