// Program entry.
#include "shell/program/run.h"

int main(int argc, char** argv) {
    return qv::runProgram(argc, argv);
}
