// Program entry.
#include "app/qv-tessarin/run.h"

int main(int argc, char** argv) {
    return qv::runProgram(argc, argv);
}
