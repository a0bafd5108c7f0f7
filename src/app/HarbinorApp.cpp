#include "app/HarbinorApp.h"

#include "app/FirstRun.h"
#include "catalogue/Catalog.h"
#include "files/CachePaths.h"
#include "platform/CrashHandler.h"
#include "platform/Http.h"
#include "platform/MessageBox.h"
#include "platform/Paths.h"
#include "platform/Settings.h"
#include "ui/PlainMainWindow.h"
#include "ui/QtPlatform.h"
#include "ui/ThemeColors.h"

#include <QWidget>

namespace {

CHarbinorApp* g_app = nullptr;

} // namespace

CHarbinorApp::CHarbinorApp() {
    g_app = this;
}

CHarbinorApp::~CHarbinorApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

CHarbinorApp* CHarbinorApp::Instance() {
    return g_app;
}

bool CHarbinorApp::InitInstance() {
    platform::InstallCrashHandler();
    platform::InitNetwork();
    m_networkRunning = true;
    ui::InstallQtPlatform();
    if (m_messageBoxes) {
        platform::SetMessageBoxPresenter(m_messageBoxes);
    }

    if (app::IsUpdateCheckDue(platform::ProfileSettings(), m_updateCheck) != 0) {
        return false;
    }

    m_programDirectory = platform::ProgramDirectory();
    if (!m_programDirectory.empty()) {
        platform::SetWorkingDirectory(m_programDirectory);
    }
    SettlePaths();
    OpenAndUpgradeCatalog();

    platform::CreateDirectory(m_thumbnailDir);
    LoadThemeColors(platform::AppSettings());
    app::SendFirstRunNotification(platform::AppSettings());

    m_mainWindow = std::make_unique<ui::PlainMainWindow>();
    m_mainWindow->show();
    return true;
}

void CHarbinorApp::SettlePaths() {
    m_dataDirectory = platform::AppDataDirectory();
    if (!platform::PathExists(m_dataDirectory)) {
        // The base folder may itself be missing in a fresh account.
        platform::CreateDirectories(m_dataDirectory);
    }
    m_catalogPath = platform::JoinPath(m_dataDirectory, "db.db3");
    catalogue::SetCatalogPath(m_catalogPath);
    m_thumbnailDir = platform::JoinPath(m_dataDirectory, "Thumbs");
    files::SetThumbnailDir(m_thumbnailDir);
}

void CHarbinorApp::OpenAndUpgradeCatalog() {
    // The installation's template stands in for a catalogue the user does not have yet.
    if (!platform::PathExists(m_catalogPath)) {
        platform::CopyFileNoReplace(platform::JoinPath(m_programDirectory, "db.db3"),
                                    m_catalogPath);
    }
    CCatalog catalog(m_catalogPath);
    if (catalog.OpenMain()) {
        catalog.UpgradeSchema();
    }
}

int CHarbinorApp::ExitInstance() {
    m_mainWindow.reset();
    SaveCustomColors(platform::AppSettings());
    ui::UninstallQtPlatform();
    if (m_networkRunning) {
        platform::ShutdownNetwork();
        m_networkRunning = false;
    }
    return 0;
}

void CHarbinorApp::SetSelectionHook(std::function<bool()> takeSelectionChanged,
                                    std::function<void()> onSelectionChanged) {
    m_takeSelectionChanged = std::move(takeSelectionChanged);
    m_onSelectionChanged = std::move(onSelectionChanged);
}

bool CHarbinorApp::OnIdle(long) {
    if (m_takeSelectionChanged && m_takeSelectionChanged() && m_onSelectionChanged) {
        m_onSelectionChanged();
    }
    return false;
}
