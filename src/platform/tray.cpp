// The taskbar notification icon. Its current image is kept even where no tray exists.
#include <QCoreApplication>
#include <QIcon>
#include <QSystemTrayIcon>

#include "platform/panel_table.h"

using namespace platform;

namespace {
std::vector<std::string> g_trayHistory;
std::string g_trayImage;
bool g_trayInstalled = false;
QSystemTrayIcon* g_tray = nullptr;

// Tray images are loaded once: the icon changes several times in every exchange.
const QIcon& trayIcon(const std::string& file) {
    static std::map<std::string, QIcon> cache;
    auto it = cache.find(file);
    if (it == cache.end()) it = cache.emplace(file, QIcon(resolvePath(file))).first;
    return it->second;
}

} // namespace

int WT_InstallSysTrayIcon(const std::string& imageFile, const std::string& tooltip, TrayCallbackPtr /*fn*/,
                          int* handle) {
    g_trayInstalled = true;
    g_trayImage = imageFile;
    Remember(g_trayHistory, imageFile);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!g_tray) g_tray = new QSystemTrayIcon(QCoreApplication::instance());
        g_tray->setIcon(trayIcon(imageFile));
        g_tray->setToolTip(qs(tooltip));
        g_tray->show();
    }
    if (handle) *handle = 1;
    return 0;
}

int WT_SetTrayIconAttr(int handle, int attribute, const std::string& value) {
    if (handle != 1 || !g_trayInstalled) return UIE_BadPanelHandle;
    if (attribute != ATTR_TRAY_ICON_IMAGE) return UIE_BadAttribute;
    if (value == g_trayImage) return 0;
    g_trayImage = value;
    Remember(g_trayHistory, value);
    if (g_tray) g_tray->setIcon(trayIcon(value));
    return 0;
}

int WT_RemoveSysTrayIcon(int handle) {
    if (handle != 1 || !g_trayInstalled) return UIE_BadPanelHandle;
    g_trayInstalled = false;
    if (g_tray) g_tray->hide();
    return 0;
}

const std::vector<std::string>& TrayIconHistory() { return g_trayHistory; }
void ClearTrayIconHistory() { g_trayHistory.clear(); }
std::string CurrentTrayIconImage() { return g_trayImage; }
bool TrayIconInstalled() { return g_trayInstalled; }
