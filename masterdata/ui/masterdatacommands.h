// The master-data commands of the main window: the lookup lists of
// extensions, categories and carrier types, and the status names.
#pragma once

#include <QObject>

#include "ui/feature.h"

namespace qv {

class MasterdataCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;

  public slots:
    void EinleseEndungen1Click();
    void Kategorien1Click();
    void DatentraegerArten1Click();
    void ProgrammStatus1Click();

  private:
    MainWindowHost* m_host = nullptr;
};

}  // namespace qv
