#pragma once

// The application object: runs the start-up sequence before any window
// exists, settles the catalogue path and the thumbnail directory that every
// other part reads, and tears down at exit. Lives on the user-interface
// thread; the two paths are read-only once start-up set them.

#include "app/UpdateSchedule.h"

#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace platform {
class MessageBoxPresenter;
}

class CHarbinorApp {
public:
    CHarbinorApp();
    ~CHarbinorApp();
    CHarbinorApp(const CHarbinorApp&) = delete;
    CHarbinorApp& operator=(const CHarbinorApp&) = delete;

    // The start-up sequence. True: the main window is up. False: the program
    // ends without a window (an installer was started, or no main window).
    // Needs a QApplication.
    bool InitInstance();
    int ExitInstance();

    // Applies a changed selection once per idle pass.
    bool OnIdle(long idleCount);

    std::string GetCatalogPath() const { return m_catalogPath; }
    std::string GetThumbnailDir() const { return m_thumbnailDir; }
    const std::string& ProgramDirectory() const { return m_programDirectory; }
    QWidget* MainWindow() const { return m_mainWindow.get(); }

    // Installed before InitInstance: the update checker the schedule runs.
    void SetUpdateCheck(app::UpdateCheck check) { m_updateCheck = std::move(check); }

    // Installed before InitInstance: message boxes go here instead of to Qt.
    void SetMessageBoxPresenter(std::shared_ptr<platform::MessageBoxPresenter> presenter) {
        m_messageBoxes = std::move(presenter);
    }

    // The file list's "selection changed since the last idle pass" flag
    // (read and cleared) and the main frame's selection handler.
    void SetSelectionHook(std::function<bool()> takeSelectionChanged,
                          std::function<void()> onSelectionChanged);

    // The application object of this process, or null before one exists.
    static CHarbinorApp* Instance();

private:
    void SettlePaths();
    void OpenAndUpgradeCatalog();

    app::UpdateCheck m_updateCheck;
    std::shared_ptr<platform::MessageBoxPresenter> m_messageBoxes;
    std::function<bool()> m_takeSelectionChanged;
    std::function<void()> m_onSelectionChanged;
    std::string m_programDirectory;
    std::string m_dataDirectory;
    std::string m_thumbnailDir;
    std::string m_catalogPath;
    std::unique_ptr<QWidget> m_mainWindow;
    bool m_networkRunning = false;
};
