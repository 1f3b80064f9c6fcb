// The lending commands of the main window: the address list, and assigning
// or removing the address of the lower panel's lending tab shown.
#pragma once

#include <QObject>

#include "ui/feature.h"

namespace qv {

class LendingCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;

  public slots:
    void AdressenVerleih1Click();
    void panelverleihbtn1Click();
    void BitBtn1Click();

  private:
    MainWindowHost* m_host = nullptr;
};

}  // namespace qv
