#include "ui/QtPlatform.h"

#include "platform/MessageBox.h"
#include "platform/MessageLoop.h"

#include <QApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include <atomic>
#include <memory>

namespace ui {
namespace {

class QtMessageBoxPresenter : public platform::MessageBoxPresenter {
public:
    platform::MessageBoxAnswer Present(const platform::MessageBoxRequest& request) override {
        QMessageBox box(IconFor(request.icon), QString::fromStdString(request.caption),
                        QString::fromStdString(request.text), ButtonsFor(request.buttons),
                        QApplication::activeWindow());
        return AnswerFor(static_cast<QMessageBox::StandardButton>(box.exec()), request.buttons);
    }

private:
    static QMessageBox::Icon IconFor(platform::MessageBoxIcon icon) {
        switch (icon) {
        case platform::MessageBoxIcon::Information:
            return QMessageBox::Information;
        case platform::MessageBoxIcon::Warning:
            return QMessageBox::Warning;
        case platform::MessageBoxIcon::Error:
            return QMessageBox::Critical;
        case platform::MessageBoxIcon::Question:
            return QMessageBox::Question;
        default:
            return QMessageBox::NoIcon;
        }
    }

    static QMessageBox::StandardButtons ButtonsFor(platform::MessageBoxButtons buttons) {
        switch (buttons) {
        case platform::MessageBoxButtons::OkCancel:
            return QMessageBox::Ok | QMessageBox::Cancel;
        case platform::MessageBoxButtons::YesNo:
            return QMessageBox::Yes | QMessageBox::No;
        case platform::MessageBoxButtons::YesNoCancel:
            return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case platform::MessageBoxButtons::RetryCancel:
            return QMessageBox::Retry | QMessageBox::Cancel;
        default:
            return QMessageBox::Ok;
        }
    }

    static platform::MessageBoxAnswer AnswerFor(QMessageBox::StandardButton button,
                                                platform::MessageBoxButtons buttons) {
        switch (button) {
        case QMessageBox::Ok:
            return platform::MessageBoxAnswer::Ok;
        case QMessageBox::Yes:
            return platform::MessageBoxAnswer::Yes;
        case QMessageBox::No:
            return platform::MessageBoxAnswer::No;
        case QMessageBox::Retry:
            return platform::MessageBoxAnswer::Retry;
        case QMessageBox::Cancel:
            return platform::MessageBoxAnswer::Cancel;
        default:
            // Closed by the window manager: the way out the box offers.
            return buttons == platform::MessageBoxButtons::Ok ? platform::MessageBoxAnswer::Ok
                   : buttons == platform::MessageBoxButtons::YesNo
                       ? platform::MessageBoxAnswer::No
                       : platform::MessageBoxAnswer::Cancel;
        }
    }
};

// Receives the queued drain calls; lives as long as the installation.
QPointer<QObject> g_pump;
std::atomic<bool> g_drainQueued{false};

} // namespace

void InstallQtPlatform() {
    platform::MessageLoop& loop = platform::MessageLoop::Instance();
    loop.SetUiThread();
    g_pump = new QObject(qApp);
    QPointer<QObject> pump = g_pump;
    loop.SetWakeUp([pump] {
        // One queued drain at a time, however many messages arrive meanwhile.
        if (g_drainQueued.exchange(true)) {
            return;
        }
        QMetaObject::invokeMethod(
            pump.data(),
            [] {
                g_drainQueued = false;
                platform::MessageLoop::Instance().DrainPending();
            },
            Qt::QueuedConnection);
    });
    platform::SetMessageBoxPresenter(std::make_shared<QtMessageBoxPresenter>());
}

void UninstallQtPlatform() {
    platform::MessageLoop::Instance().SetWakeUp({});
    platform::SetMessageBoxPresenter(nullptr);
    delete g_pump.data();
    g_drainQueued = false;
}

} // namespace ui
