// qvdb: looks into and fills catalogue tables from the command line, and runs
// the program's operations (reading a carrier, queries, statistics, ...) on a
// catalogue without windows.
#include <QCoreApplication>
#include <QGuiApplication>

#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/cataloguelocation.h"
#include "catalogue/qvdb.h"

int main(int argc, char** argv) {
    // Some operations run Qt code that wants an application object (file
    // system queries); it never shows a window. Printing wants fonts and so a
    // GUI application, which runs on the offscreen platform.
    std::vector<char*> qtArgs(argv, argv + argc);
    char platform[] = "-platform";
    char offscreen[] = "offscreen";
    qtArgs.insert(qtArgs.begin() + 1, {platform, offscreen});
    int qtArgc = static_cast<int>(qtArgs.size());
    qtArgs.push_back(nullptr);
    std::unique_ptr<QCoreApplication> app;
    if (argc > 1 && std::string_view(argv[1]) == "print")
        app = std::make_unique<QGuiApplication>(qtArgc, qtArgs.data());
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    qv::keepCountsInUserCache();
    std::vector<std::string> args(argv + 1, argv + argc);
    qvdb::addFeatureCommands();
    return qvdb::run(args, std::cin, std::cout, std::cerr);
}
