// Label and list printing on a catalogue of many entries: the time from the
// print dialog's OK to the first page on screen, printing to a PDF file, a
// page flip in the preview, and the memory the pages take.
//
//   print_bench [entries]      (default 10,000)
//
// The catalogue is built in a temporary directory (all six tables, entries
// with 40-character titles in title order). Each step runs the program's
// own code with its real progress window, offscreen:
//   preview  the command's steps after the print dialog (views suspended,
//            record remembered, label definition read, report run) plus the
//            first page drawn at 100 % into a window-sized image
//   pdf      the preview's print operation onto an A4 PDF file
//   flip     drawing one page at 100 % (mean over up to 50 pages)
//   memory   resident memory after the preview minus before it
// Figures are wall-clock milliseconds.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include "catalogue/cataloguecheck.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "catalogue/settingslist.h"
#include "output/core/labelreport.h"
#include "output/core/listreport.h"
#include "output/core/printcommands.h"
#include "output/core/render.h"
#include "store/tapollo.h"
#include "store/ttable.h"
#include "ui/wmessage.h"

namespace {

long residentKb() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        std::getline(status, key);
    }
    return 0;
}

void fillCatalogue(TTable& t, int n) {
    static const char* kCategories[] = {"Spiele", "Büro", "Grafik", "Musik", "Werkzeuge"};
    for (int i = 1; i <= n; ++i) {
        t.Append();
        t.FieldByName("EINDEUTIG").setAsInteger(i);
        // Titles in a scattered order, 40 characters.
        const int key = static_cast<int>((static_cast<long long>(i) * 7919) % n);
        t.FieldByName("BEZEICH").setAsString(
            QStringLiteral("Datenträger %1 Sammlung Programme").arg(key, 7, 10, QLatin1Char('0')));
        t.FieldByName("BOXNUMMER").setAsInteger(i / 20 + 1);
        t.FieldByName("DISKNUMMER").setAsInteger(i % 20 + 1);
        t.FieldByName("KATEGORIE").setAsString(QString::fromUtf8(kCategories[i % 5]));
        t.FieldByName("DISKART").setAsString(QStringLiteral("CD-ROM"));
        t.FieldByName("PROGDSKS").setAsInteger(i % 9 + 1);
        t.Post();
    }
}

double ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

// The first page as the preview shows it at 100 %.
void drawFirstPage(const qv::report::Document& doc) {
    QImage screen(1280, 900, QImage::Format_RGB32);
    screen.fill(Qt::darkGray);
    QPainter p(&screen);
    qv::report::renderPage(p, doc, 0, 1.0);
}

double flipMs(const qv::report::Document& doc) {
    QImage page(static_cast<int>(doc.pageSize.width()) + 1,
                static_cast<int>(doc.pageSize.height()) + 1, QImage::Format_RGB32);
    const int pages = std::min(doc.pageCount(), 50);
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < pages; ++i) {
        page.fill(Qt::white);
        QPainter p(&page);
        qv::report::renderPage(p, doc, i, 1.0);
    }
    return ms(t) / pages;
}

void runReport(const char* name, TEntryReport& form, const std::function<void()>& previewSteps,
               const QString& pdf) {
    form.QuickReport.previewHandler = [](qv::report::Report& r) { drawFirstPage(r.document()); };
    QPdfWriter writer(pdf);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF());
    form.QuickReport.setPrinter(&writer, pdf);

    const long before = residentKb();
    QElapsedTimer t;
    t.start();
    previewSteps();
    const double preview = ms(t);
    const long after = residentKb();
    const double flip = flipMs(form.QuickReport.document());
    const int pages = form.QuickReport.pageCount();

    t.restart();
    form.QuickReport.print();
    const double print = ms(t);
    form.QuickReport.setPrinter(nullptr);
    std::printf(
        "%-7s pages %6d  preview %8.1f ms  pdf %8.1f ms  flip %6.2f ms  memory %+7.1f MB"
        "  (pdf %.1f MB)\n",
        name, pages, preview, print, flip, (after - before) / 1024.0,
        QFile(pdf).size() / 1048576.0);
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);

    char tmpl[] = "/tmp/print_bench-XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const QString dir = QString::fromLocal8Bit(tmpl);
    {
        TDM dm(dir);
        qv::CatalogueSession access(dm);
        qv::SilentIntro intro;
        if (!qv::checkCatalogue(dm, access, intro, [](const QString&) {})) return 1;
        access.reattach();
        QElapsedTimer t;
        t.start();
        fillCatalogue(dm.table(qv::CatalogueTable::Entries), n);
        TApollo& list = access.apollo(qv::CatalogueTable::Entries);
        list.sx_SetOrderByName(QStringLiteral("bezeich"));
        list.sx_GoTop();
        std::printf("%d entries built in %.0f ms\n", n, ms(t));

        qv::SettingsList settings;
        settings.load(dir);
        TWmessage wmessage;
        const qv::EntryListViews views{access.view(qv::CatalogueTable::Entries),
                                       access.view(qv::CatalogueTable::Files), list};
        TDrEtikett labels(dm.table(qv::CatalogueTable::Entries), wmessage);
        runReport(
            "labels", labels, [&] { qv::previewLabels(labels, views, settings); },
            dir + "/labels.pdf");
        TdrListe lines(dm.table(qv::CatalogueTable::Entries), wmessage);
        runReport(
            "list", lines, [&] { qv::previewList(lines, views); }, dir + "/list.pdf");
    }
    std::filesystem::remove_all(tmpl);
    return 0;
}
