#pragma once

// Connects the platform layer to Qt on the user-interface thread: posted
// window messages are drained from the Qt event loop, and message boxes are
// shown with QMessageBox. Install once after the QApplication exists;
// uninstall before it goes.

namespace ui {

void InstallQtPlatform();
void UninstallQtPlatform();

} // namespace ui
