// Time, the program directory, the settings store and text formatting.
#pragma once

#include <cstdarg>
#include <functional>
#include <string>

// A check the long waits make at least every 100 ms (Delay, a serial read, a TCP reply or
// connection being waited for): once it answers true, they end at once. Empty: none.
void SetWaitInterrupt(std::function<bool()> interrupted);
// Whether it answers true (false without one).
bool WaitInterrupted();

// Waits without letting events through; ends early when the wait is interrupted.
void Delay(double seconds);
// Seconds since an arbitrary start, for measuring intervals.
double Timer();

// The directory of the executable (without a trailing separator).
std::string GetProjectDir();

// Whether there is a screen to show windows on: always on Windows; on Linux, an X or Wayland display.
bool HasDisplay();

// A windowed program started from a console (Windows) writes its messages there, as a
// command-line program does; elsewhere it does so already.
void UseCallerConsole();

// Local date and time as seconds since the epoch.
int GetCurrentDateTime(double* dateTime);
// Formats a moment: %x the short date of the system's locale, %X the time, %c both, and the
// usual %Y %m %d %H %M %S.
std::string FormatDateTimeString(double dateTime, const std::string& format);
// Now as ISO 8601 local time with milliseconds and the UTC offset, always given (+00:00 too), so
// a log read elsewhere says which time it holds: "2026-12-08T09:15:02.125+01:00".
std::string IsoTimeNow();
std::string IsoTime(double dateTime);
// A moment as a locale ("es", "en_GB") writes it in full: "martes, 8 de diciembre de 2026, 9:15:02 CET".
std::string LongDateTime(double dateTime, const std::string& locale);
// Today's date as MM-DD-YYYY and the time as HH:MM:SS.
std::string DateStr();
std::string TimeStr();

// printf-style formatting into a std::string.
// The C99 formats (%zu, %lld) on every system: MinGW's printf checks would take Microsoft's.
#ifdef __MINGW32__
#define RQ55_PRINTF_FORMAT gnu_printf
#else
#define RQ55_PRINTF_FORMAT printf
#endif
std::string strfmt(const char* format, ...) __attribute__((format(RQ55_PRINTF_FORMAT, 1, 2)));

// Settings store: the program's remembered values. On Linux a settings file (named by the
// environment variable RQ55_SETTINGS when set), on Windows the registry. Keys use backslashes
// like "SOFTWARE\\RQ55\\Language". Returns 0 on success, negative when the value is missing or
// cannot be written.
enum { REGKEY_HKLM = 2, REGKEY_HKCU = 1 };
int RegReadString(int rootKey, const std::string& subKey, const std::string& valueName, std::string& out);
int RegWriteString(int rootKey, const std::string& subKey, const std::string& valueName,
                   const std::string& value);
