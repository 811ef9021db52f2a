#pragma once
class QApplication;

namespace quorvex {

// Builds the devices and the window with the Qt implementations and runs until the window
// closes.
int RunProgram(QApplication& app);

} // namespace quorvex
