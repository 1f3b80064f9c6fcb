// Names and captions of the program as a whole.
#pragma once

#include <QString>

namespace qv {

// The application title: caption of the general error boxes.
inline const QString kAppTitle = QStringLiteral("QV-TESSARIN 97");
// Caption of the main window.
inline const QString kMainFormCaption = QStringLiteral("QV-TESSARIN 97 (32 Bit)");
// The product name as the small windows show it.
inline const QString kProductName = QStringLiteral("QV-Tessarin");
// Name of the help file, set as the application's help file at the first
// activation of the main window. The pages themselves are built into the
// program (see help.h).
inline const QString kHelpFileName = QStringLiteral("tessarin.hlp");

}  // namespace qv
