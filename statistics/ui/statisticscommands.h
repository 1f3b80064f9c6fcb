// The three statistics of the main window: the carrier count, entries per
// status and entries per category.
#pragma once

#include <QObject>

#include "ui/feature.h"

class TSpeicherbelegung;
class TStat_kategorie;
class Tstatistik_status;

namespace qv {

class StatisticsCommands : public QObject, public Feature {
    Q_OBJECT

  public:
    void bind(MainWindowHost& host) override;

    // The windows, created on first use and kept.
    Tstatistik_status& statistikStatus();
    TStat_kategorie& statKategorie();
    TSpeicherbelegung& speicherbelegung();

  public slots:
    void DatentraegerAnzahl1Click();
    void EintraegejeStatus1Click();
    void EintraegejeKategorie1Click();
    void Speicherbelegung1Click();

  private:
    MainWindowHost* m_host = nullptr;
};

}  // namespace qv
