#include "store/displays.h"

#include <QCoreApplication>

namespace qv {

void letMessagesRun() {
    QCoreApplication::processEvents();
}

}  // namespace qv
