#include "ui/PlainMainWindow.h"

namespace ui {

PlainMainWindow::PlainMainWindow() {
    setWindowTitle(QStringLiteral("Orvanta Photo Manager"));
    resize(1024, 720);
}

} // namespace ui
