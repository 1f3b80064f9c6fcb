// The main window tests run under the program's own application object.
#include "ui/application.h"

QApplication* qvMakeTestApplication(int& argc, char** argv) {
    return new qv::Application(argc, argv);
}
