#include "output_test_util.h"

#include <QPageSize>
#include <QPdfWriter>

#include <gtest/gtest.h>

#include "output/report/report.h"
#include "store/catalogueaccess.h"
#include "store/cataloguecheck.h"
#include "store/dm.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"

namespace outtest {

namespace {

class QuietIntro : public qv::IntroDisplay {
  public:
    void setStepText(const QString&) override {}
    void setStatusText(const QString&) override {}
    void showNow() override {}
    void closeNow() override {}
    void showGauge() override {}
    void hideGauge() override {}
    void announceSteps(int) override {}
    void setStep(int) override {}
    void reportProgress(int) override {}
};

}  // namespace

std::vector<Entry> numberedEntries(int n) {
    std::vector<Entry> out;
    for (int i = 1; i <= n; ++i)
        out.push_back({QStringLiteral("Titel-%1").arg(i, 3, 10, QLatin1Char('0')), 100 + i, i});
    return out;
}

TestCatalogue::TestCatalogue(const std::vector<Entry>& entries) {
    m_dm = std::make_unique<TDM>(dir());
    m_access = std::make_unique<qv::CatalogueAccess>(*m_dm);
    QuietIntro intro;
    const bool ok = qv::checkCatalogue(*m_dm, *m_access, intro, [](const QString& text) {
        ADD_FAILURE() << "catalogue not created: " << text.toStdString();
    });
    EXPECT_TRUE(ok);
    m_access->reattach();
    TTable& t = entryTable();
    int number = 0;
    for (const Entry& e : entries) {
        t.Append();
        t.FieldByName(QStringLiteral("EINDEUTIG")).setAsInteger(++number);
        t.FieldByName(QStringLiteral("BEZEICH")).setAsString(e.title);
        t.FieldByName(QStringLiteral("BOXNUMMER")).setAsInteger(e.box);
        t.FieldByName(QStringLiteral("DISKNUMMER")).setAsInteger(e.number);
        t.FieldByName(QStringLiteral("KATEGORIE")).setAsString(e.category);
        t.FieldByName(QStringLiteral("DISKART")).setAsString(e.type);
        t.FieldByName(QStringLiteral("PROGDSKS")).setAsInteger(e.disks);
        t.Post();
    }
    entryApollo().sx_SetOrderByName(QStringLiteral("bezeich"));
    entryApollo().sx_GoTop();
    m_settings.load(dir());
}

TestCatalogue::~TestCatalogue() {
    m_access.reset();
    m_dm.reset();
}

QString TestCatalogue::dir() const {
    return QString::fromStdString(m_tmp.path().string());
}

QString TestCatalogue::path(const QString& name) const {
    return dir() + QLatin1Char('/') + name;
}

TTable& TestCatalogue::entryTable() const {
    return *m_dm->Table1;
}

TApollo& TestCatalogue::entryApollo() const {
    return m_access->apollo(qv::CatalogTable::Entries);
}

qv::EntryListViews TestCatalogue::list() const {
    return {m_access->view(qv::CatalogTable::Entries), m_access->view(qv::CatalogTable::Files),
            entryApollo()};
}

void TestCatalogue::setLabelLines(const QString& columns, const QString& left, const QString& gap,
                                  const QString& height, const QString& top) {
    m_settings.replace(14, columns);
    m_settings.replace(15, left);
    m_settings.replace(16, gap);
    m_settings.replace(17, height);
    m_settings.replace(18, top);
}

void printToPdf(qv::report::Report& report, const QString& path) {
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    report.setPrinter(&writer, path);
    report.print();
    report.setPrinter(nullptr);
}

}  // namespace outtest
