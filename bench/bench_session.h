// The start-up check run on a benchmark's catalogue folder, as the program
// runs it before its first window: it creates missing tables and builds
// missing indexes. Ends the benchmark with the check's message when it fails.
#pragma once

#include <QString>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "catalogue/cataloguecheck.h"
#include "catalogue/cataloguesession.h"
#include "catalogue/dm.h"
#include "store/displays.h"

namespace bench {

inline void checkCatalogue(const std::filesystem::path& dir) {
    TDM dm(QString::fromStdString(dir.string()));
    qv::CatalogueSession session(dm);
    qv::SilentIntro intro;
    qv::checkCatalogue(dm, session, intro, [](const QString& t) {
        std::fprintf(stderr, "%s\n", t.toUtf8().constData());
        std::exit(1);
    });
    session.reattach();
    for (qv::CatalogueTable t : qv::kTableOrder)
        dm.table(t).Close();
}

}  // namespace bench
