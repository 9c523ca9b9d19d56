#include "platform/system.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QSettings>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "platform/testing.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {
std::string g_projectDirOverride;

std::unique_ptr<QSettings> openSettings() {
    const char* file = std::getenv("RQ55_SETTINGS");
    if (file && *file) return std::make_unique<QSettings>(QString::fromLocal8Bit(file), QSettings::IniFormat);
#ifdef Q_OS_WIN
    // The current user's hive: writing under the machine hive would need an administrator.
    return std::make_unique<QSettings>("HKEY_CURRENT_USER\\", QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, "RQ55", "RQ55");
#endif
}

QString settingsKey(const std::string& subKey, const std::string& valueName) {
    QString key = QString::fromStdString(subKey);
    key.replace('\\', '/');
    while (key.startsWith('/')) key.remove(0, 1);
    return key + "/" + QString::fromStdString(valueName);
}
} // namespace

namespace {
std::function<bool()> g_waitInterrupt;
constexpr double kInterruptCheckSeconds = 0.1;
} // namespace

void SetWaitInterrupt(std::function<bool()> interrupted) { g_waitInterrupt = std::move(interrupted); }

bool WaitInterrupted() { return g_waitInterrupt && g_waitInterrupt(); }

void Delay(double seconds) {
    if (!g_waitInterrupt) {
        if (seconds > 0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        return;
    }
    const double end = Timer() + seconds;
    for (double left = seconds; left > 0 && !WaitInterrupted(); left = end - Timer())
        std::this_thread::sleep_for(std::chrono::duration<double>(std::min(left, kInterruptCheckSeconds)));
}

double Timer() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

std::string GetProjectDir() {
    if (!g_projectDirOverride.empty()) return g_projectDirOverride;
    if (QCoreApplication::instance()) return QCoreApplication::applicationDirPath().toStdString();
    // A command-line program runs without an application object: its own folder all the same, not
    // the folder it was started from.
#ifdef _WIN32
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length > 0 && length < path.size())
        return QString::fromStdWString(std::filesystem::path(path.substr(0, length)).parent_path().wstring()).toStdString();
#else
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) return self.parent_path().string();
#endif
    return ".";
}

void SetProjectDirForTesting(const std::string& dir) { g_projectDirOverride = dir; }

#ifdef _WIN32
bool HasDisplay() { return true; }

void UseCallerConsole() {
    // Output already sent somewhere (a file, a pipe) stays there.
    if (::GetStdHandle(STD_ERROR_HANDLE) || !::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    std::freopen("CONOUT$", "w", stdout);
    std::freopen("CONOUT$", "w", stderr);
}
#else
bool HasDisplay() { return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY"); }

void UseCallerConsole() {}
#endif

int GetCurrentDateTime(double* dateTime) {
    if (dateTime) *dateTime = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    return 0;
}

std::string FormatDateTimeString(double dateTime, const std::string& format) {
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(dateTime * 1000.0));
    const QLocale locale = QLocale::system();
    QString out;
    for (size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 == format.size()) {
            out += QChar(format[i]);
            continue;
        }
        switch (format[++i]) {
        case 'x': out += locale.toString(moment.date(), QLocale::ShortFormat); break;
        case 'X': out += moment.toString("HH:mm:ss"); break;
        case 'c': out += locale.toString(moment, QLocale::LongFormat); break;
        case 'Y': out += moment.toString("yyyy"); break;
        case 'm': out += moment.toString("MM"); break;
        case 'd': out += moment.toString("dd"); break;
        case 'H': out += moment.toString("HH"); break;
        case 'M': out += moment.toString("mm"); break;
        case 'S': out += moment.toString("ss"); break;
        case '%': out += '%'; break;
        default:
            out += '%';
            out += QChar(format[i]);
            break;
        }
    }
    return out.toStdString();
}

std::string DateStr() { return QDate::currentDate().toString("MM-dd-yyyy").toStdString(); }
std::string TimeStr() { return QTime::currentTime().toString("HH:mm:ss").toStdString(); }

std::string strfmt(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (needed > 0) {
        std::vector<char> buffer(static_cast<size_t>(needed) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        out.assign(buffer.data(), static_cast<size_t>(needed));
    }
    va_end(args);
    return out;
}

int RegReadString(int /*rootKey*/, const std::string& subKey, const std::string& valueName,
                  std::string& out) {
    auto settings = openSettings();
    const QString key = settingsKey(subKey, valueName);
    if (!settings->contains(key)) return -1;
    out = settings->value(key).toString().toStdString();
    return 0;
}

int RegWriteString(int /*rootKey*/, const std::string& subKey, const std::string& valueName,
                   const std::string& value) {
    auto settings = openSettings();
    settings->setValue(settingsKey(subKey, valueName), QString::fromStdString(value));
    settings->sync();
    return settings->status() == QSettings::NoError ? 0 : -1;
}

std::string IsoTimeNow() {
    double now = 0;
    GetCurrentDateTime(&now);
    return IsoTime(now);
}

std::string IsoTime(double dateTime) {
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(dateTime * 1000.0));
    const int offset = moment.offsetFromUtc() / 60;
    const int hours = std::abs(offset) / 60, minutes = std::abs(offset) % 60;
    return moment.toString("yyyy-MM-ddTHH:mm:ss.zzz").toStdString() +
           strfmt("%c%02d:%02d", offset < 0 ? '-' : '+', hours, minutes);
}

std::string LongDateTime(double dateTime, const std::string& locale) {
    const QDateTime moment = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(dateTime * 1000.0));
    const QString date = QLocale(QString::fromStdString(locale)).toString(moment.date(), QLocale::LongFormat);
    return (date + ", " + moment.toString("HH:mm:ss")).toStdString();
}
