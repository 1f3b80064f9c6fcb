// The import command of the main window: the predecessor's entry table
// into the entry table.
#pragma once

#include <QObject>

#include "ui/feature.h"

class TImport;

namespace qv {

class ImportCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;

    // The import dialog, created on first use.
    TImport& importDialog();

  public slots:
    // "&Import QV-Lindovar": the predecessor's table into the entry table.
    void ImportQVLindovar1Click();

  private:
    MainWindowHost* m_host = nullptr;
    TImport* m_import = nullptr;
};

}  // namespace qv
