// qvdb: looks into and fills catalogue tables from the command line.
#include <iostream>
#include <string>
#include <vector>

#include "store/tool/qvdb.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return qvdb::run(args, std::cin, std::cout, std::cerr);
}
