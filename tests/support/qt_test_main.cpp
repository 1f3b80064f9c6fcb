// Test main for Qt code: hosts one QApplication on the offscreen platform
// with Qt's German translation loaded, as the program itself does.
#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include <unistd.h>

#include <gtest/gtest.h>

// A test program may host an application subclass (the program's own, with
// its general error handler) by defining this function.
QApplication* qvMakeTestApplication(int& argc, char** argv) __attribute__((weak));

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    if (!std::getenv("XDG_RUNTIME_DIR")) {
        auto dir =
            std::filesystem::temp_directory_path() / ("qvtest-runtime-" + std::to_string(getuid()));
        std::filesystem::create_directories(dir);
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    }
    ::testing::InitGoogleTest(&argc, argv);
    std::unique_ptr<QApplication> app(qvMakeTestApplication ? qvMakeTestApplication(argc, argv)
                                                            : new QApplication(argc, argv));
    QTranslator qtGerman;
    if (qtGerman.load(QLocale(QLocale::German), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtGerman);
    return RUN_ALL_TESTS();
}
