#include "catalogue_test_util.h"

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "store/xbase/table.h"
#include "store/xbase/table_check.h"
#include "store/xbase/table_index.h"
#include "support/testutil.h"

namespace fs = std::filesystem;

namespace cattest {

void RecordingIntro::setStepText(const QString& text) {
    text_ = text;
    log << QStringLiteral("text ") + text;
}

void RecordingIntro::setStatusText(const QString& text) {
    log << QStringLiteral("status ") + text;
}

void RecordingIntro::showGauge() {
    gaugeVisible = true;
    log << QStringLiteral("gauge on");
}

void RecordingIntro::hideGauge() {
    gaugeVisible = false;
    log << QStringLiteral("gauge off");
}

void RecordingIntro::announceSteps(int n) {
    progress_.announceSteps(n);
    log << QStringLiteral("steps %1").arg(n);
}

void RecordingIntro::setStep(int i) {
    progress_.setStep(i);
    log << QStringLiteral("step %1").arg(i);
}

void RecordingIntro::reportProgress(int percent) {
    if (!gaugeVisible) ++hiddenReports;
    values[text_].push_back(progress_.valueFor(percent));
}

QStringList RecordingIntro::linesStartingWith(const QString& prefix) const {
    QStringList out;
    for (const QString& l : log)
        if (l.startsWith(prefix)) out << l.mid(prefix.size());
    return out;
}

Catalogue::Catalogue(const fs::path& dir)
    : dm(std::make_unique<TDM>(QString::fromStdString(dir.string()))),
      access(std::make_unique<qv::CatalogueSession>(*dm)) {}

Catalogue::~Catalogue() {
    access.reset();
    dm.reset();
}

std::vector<std::string> unflaggedRecords(const fs::path& dbf) {
    std::vector<std::string> out;
    auto t = xb::Table::open(dbf.string(), xb::OpenMode::ReadOnly);
    for (std::uint32_t r = 1; r <= t->recCount(); ++r) {
        t->go(r);
        if (t->deleted()) continue;
        std::string rec;
        for (int i = 0; i < static_cast<int>(t->fieldCount()); ++i) {
            rec += t->field(i).type == 'M' ? t->getMemo(i) : std::string(t->raw(i));
            rec += '|';
        }
        out.push_back(std::move(rec));
    }
    return out;
}

std::map<std::string, std::vector<std::string>> unflaggedCatalogue(const fs::path& dir) {
    std::map<std::string, std::vector<std::string>> out;
    for (qv::CatalogueTable t : qv::kTableOrder)
        out[qv::catalogueTable(t).dataFile.toStdString()] = unflaggedRecords(dataFile(dir, t));
    return out;
}

std::vector<std::string> checkFaults(const fs::path& dir) {
    std::vector<std::string> faults;
    for (qv::CatalogueTable t : qv::kTableOrder) {
        for (const std::string& f : xb::checkTableFile(dataFile(dir, t).string()))
            faults.push_back(f);
        std::string expected, found;
        for (const qv::CatalogueTag& tag : qv::catalogueTable(t).tags)
            expected += tag.name.toUpper().toStdString() + " ";
        auto table = xb::Table::open(dataFile(dir, t).string(), xb::OpenMode::ReadOnly);
        for (int pos = 1; pos <= table->index().tagCount(); ++pos)
            found += table->index().tagName(pos) + " ";
        if (found != expected)
            faults.push_back(indexFile(dir, t).string() + " holds the tags " + found);
    }
    return faults;
}

std::map<std::string, std::vector<std::uint8_t>> filesOf(const fs::path& dir) {
    std::map<std::string, std::vector<std::uint8_t>> out;
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename().string()[0] == '_')
            out[e.path().filename().string()] = qvtest::readFile(e.path());
    return out;
}

void copyFixtureCatalogue(const fs::path& to) {
    qvtest::copyDirFiles(qvtest::xbaseFixtures() / "catalog", to);
    fs::remove(to / "tessarin.dbf");
}

fs::path dataFile(const fs::path& dir, qv::CatalogueTable t) {
    return dir / qv::catalogueTable(t).dataFile.toStdString();
}

fs::path indexFile(const fs::path& dir, qv::CatalogueTable t) {
    return dir / qv::catalogueTable(t).indexFile.toStdString();
}

}  // namespace cattest
