#pragma once

// The top-level window start-up ends with until the browser window exists.

#include <QWidget>

namespace ui {

class PlainMainWindow : public QWidget {
public:
    PlainMainWindow();
};

} // namespace ui
