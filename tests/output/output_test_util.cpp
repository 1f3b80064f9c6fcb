#include "output_test_util.h"

#include <QPageSize>
#include <QPdfWriter>

#include <gtest/gtest.h>

#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "output/core/report.h"
#include "store/tapollo.h"
#include "store/tdatasource.h"
#include "store/ttable.h"
#include "support/catalogue/cataloguebuilder.h"

namespace outtest {

std::vector<Entry> numberedEntries(int n) {
    std::vector<Entry> out;
    for (int i = 1; i <= n; ++i)
        out.push_back({QStringLiteral("Titel-%1").arg(i, 3, 10, QLatin1Char('0')), 100 + i, i});
    return out;
}

TestCatalogue::TestCatalogue(const std::vector<Entry>& entries) {
    qvtest::createCatalogue(m_tmp.path());
    std::vector<qvtest::EntryRow> rows;
    int number = 0;
    for (const Entry& e : entries) {
        qvtest::EntryRow row(++number, e.title, e.box, e.number, e.category, e.type);
        row.carriers = e.disks;
        rows.push_back(row);
    }
    qvtest::addEntries(m_tmp.path(), rows);
    m_dm = std::make_unique<TDM>(dir());
    m_session = std::make_unique<qv::CatalogueSession>(*m_dm);
    entryTable().Open();
    m_dm->table(qv::CatalogueTable::Files).Open();
    entryApollo().sx_SetOrder(qv::tagPosition(qv::CatalogueTable::Entries, "bezeich"));
    entryApollo().sx_GoTop();
    m_settings.load(dir());
}

TestCatalogue::~TestCatalogue() {
    m_session.reset();
    m_dm.reset();
}

QString TestCatalogue::dir() const {
    return QString::fromStdString(m_tmp.path().string());
}

QString TestCatalogue::path(const QString& name) const {
    return dir() + QLatin1Char('/') + name;
}

TTable& TestCatalogue::entryTable() const {
    return m_dm->table(qv::CatalogueTable::Entries);
}

TApollo& TestCatalogue::entryApollo() const {
    return m_session->apollo(qv::CatalogueTable::Entries);
}

qv::EntryListViews TestCatalogue::list() const {
    return {m_session->view(qv::CatalogueTable::Entries),
            m_session->view(qv::CatalogueTable::Files), entryApollo()};
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
