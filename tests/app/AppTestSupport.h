#pragma once

#include <QApplication>

#include <memory>

// One QApplication for the whole test executable, made on first use.
inline QApplication& TestApplication() {
    static int argc = 1;
    static char name[] = "orvanta_app_tests";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QApplication> application = std::make_unique<QApplication>(argc, argv);
    return *application;
}
