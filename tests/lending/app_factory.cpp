// The lending tests run under the program's own application object, so
// that errors escaping a command take the program's path to the user.
#include "ui/application.h"

QApplication* qvMakeTestApplication(int& argc, char** argv) {
    return new qv::Application(argc, argv);
}
