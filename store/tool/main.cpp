// qvdb: looks into and fills catalogue tables from the command line, and runs
// the program's operations (reading a carrier, queries, statistics, ...) on a
// catalogue without windows.
#include <QCoreApplication>

#include <iostream>
#include <string>
#include <vector>

#include "store/tool/qvdb.h"

int main(int argc, char** argv) {
    // Some operations run Qt code that wants an application object (file
    // system queries, printing to PDF); it never shows a window.
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    qvdb::addFeatureCommands();
    return qvdb::run(args, std::cin, std::cout, std::cerr);
}
