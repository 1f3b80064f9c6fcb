// The main window's commands for files kept more than once: "Doppelte
// Dateien…" in the menu "Suche" and "Vergleichen…" (the current entry with
// all others) in the menu "Datenträger" and the entry list's context menu.
#pragma once

#include <QObject>

#include "ui/feature.h"

namespace qv {

class TDubletten;
class TVergleich;

class DuplicateCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;

    // The windows, created on first use and kept.
    TDubletten& dubletten();
    TVergleich& vergleich();

  public slots:
    void DoppelteDateienClick();
    void VergleichenClick();

  private:
    MainWindowHost* m_host = nullptr;
};

}  // namespace qv
