// The search by any part of a name from the main window: the menu entry
// "Suche" / "&Dateinamen suchen ..." (Ctrl+F) opens the window, kept once
// created; a result's entry is shown in the entry list.
#pragma once

#include <QObject>

#include "ui/feature.h"

class TDateinamensuche;

namespace qv {

class NameSearchCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;

  public slots:
    void DateinamenSuchenClick();

  private:
    // Puts the entry list on the entry numbered `number` in its current
    // order; a message when the list does not show it.
    void showEntry(int number);

    MainWindowHost* m_host = nullptr;
};

}  // namespace qv
