// Helpers for the tests of the start-up check and the reorganisation: an
// intro window that writes down what it was told, a catalogue directory with
// its data module, and the records of the catalogue tables as they stand in
// the files.
#pragma once

#include <QString>
#include <QStringList>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogueschema.h"
#include "catalogue/introprogress.h"
#include "store/displays.h"

class TDM;

namespace qv {
class CatalogueSession;
}

namespace cattest {

// An intro window that records every call as a line ("text Indexdatei
// Dateien ...", "steps 3", "step 1", "gauge on", "gauge off", "status Reorg:",
// "show", "close") and the bar values it would show, per step text.
class RecordingIntro : public qv::IntroDisplay {
  public:
    void setStepText(const QString& text) override;
    void setStatusText(const QString& text) override;
    void showNow() override { log << QStringLiteral("show"); }
    void closeNow() override { log << QStringLiteral("close"); }
    void showGauge() override;
    void hideGauge() override;
    void announceSteps(int n) override;
    void setStep(int i) override;
    void reportProgress(int percent) override;

    // The lines starting with `prefix` (without it).
    QStringList linesStartingWith(const QString& prefix) const;

    QStringList log;
    bool gaugeVisible = false;
    // Bar values per step text, in the order reported.
    std::map<QString, std::vector<int>> values;
    // Bar values reported while the bar was hidden.
    int hiddenReports = 0;

  private:
    qv::IntroProgress progress_;
    QString text_;
};

// The data module on a directory, with its own views and access objects.
struct Catalogue {
    explicit Catalogue(const std::filesystem::path& dir);
    ~Catalogue();
    std::unique_ptr<TDM> dm;
    std::unique_ptr<qv::CatalogueSession> access;
};

// Every record of a table that is not flagged as deleted, in record order,
// as text (fields and memo texts), read past the table objects.
std::vector<std::string> unflaggedRecords(const std::filesystem::path& dbf);
// The same for the six catalogue tables of a directory, by data file name.
std::map<std::string, std::vector<std::string>> unflaggedCatalogue(
    const std::filesystem::path& dir);

// The faults `qvdb check` finds in the six tables of a directory, and a fault
// for every index that does not hold exactly its table's tags in order.
std::vector<std::string> checkFaults(const std::filesystem::path& dir);

// The catalogue files (name to bytes) of a directory.
std::map<std::string, std::vector<std::uint8_t>> filesOf(const std::filesystem::path& dir);

// Copies the fixture catalogue's six tables with their index and memo files.
void copyFixtureCatalogue(const std::filesystem::path& to);

std::filesystem::path dataFile(const std::filesystem::path& dir, qv::CatalogueTable t);
std::filesystem::path indexFile(const std::filesystem::path& dir, qv::CatalogueTable t);

}  // namespace cattest
