// The program's run: application object with the general error handler,
// Qt's German texts, the start sequence of the shell and the message loop.
// Shared by the program and the screenshot tool.
#pragma once

#include <functional>

class TMainForm;

namespace qv {

// Runs the program; `onShown` (optional) is called once the main window is
// shown, before the message loop starts. Returns the exit code.
int runProgram(int argc, char** argv, const std::function<void(TMainForm*)>& onShown = {});

}  // namespace qv
