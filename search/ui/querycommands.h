// The entry query of the main window: starting a query (the search-active
// state, the entry list limited to the hits) and going back to all entries.
#pragma once

#include <QObject>

#include "ui/feature.h"

class TSuchabfrage;

namespace qv {

class QueryCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;

    // The query window, created on first use and kept.
    TSuchabfrage& suchabfrage();

  public slots:
    // The query button's click, shared by "&Suchabfrage starten": runs a
    // query, or resolves the one in force when the button was released.
    void speedbuttonAbfrageClick();
    void menusuche2Click();  // "&Alle Daten anzeigen"
    void suche();
    void suchereset();

  private:
    MainWindowHost* m_host = nullptr;
};

}  // namespace qv
