// rq55ctl: an RQ55 analyser from the command line, without a display. It loads Qt Core and
// SerialPort only, so that a read starts in a few milliseconds; the two commands that need
// more are executables of their own beside it, which it runs in its place: rq55ctl-report (Qt
// Gui's fonts and PDF writer) and rq55ctl-serve (the MQTT client and its TLS libraries).
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "commands.h"
#include "startup.h"
#include "stop_signals.h"

namespace {

#ifdef _WIN32
// Windows cannot run a program in this process's place: the executable named, in rq55ctl's own
// folder, is started with the same command line, waited for, and its exit status is rq55ctl's.
int runInPlace(const char* name, const std::string& command, char** /*argv*/) {
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    const std::filesystem::path program = std::filesystem::path(self).parent_path() / (std::string(name) + ".exe");
    // The arguments exactly as rq55ctl was given them: its command line without its own name.
    const wchar_t* rest = ::GetCommandLineW();
    if (*rest == L'"') {
        for (++rest; *rest && *rest != L'"'; ++rest) {
        }
        if (*rest) ++rest;
    } else {
        while (*rest && *rest != L' ' && *rest != L'\t') ++rest;
    }
    std::wstring line = L"\"" + program.wstring() + L"\"" + rest;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.wstring().c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process)) {
        Say(command + ": " + program.string() + " cannot be run: Windows error " + std::to_string(::GetLastError()));
        return kFailed;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = kFailed;
    ::GetExitCodeProcess(process.hProcess, &status);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return static_cast<int>(status);
}
#else
// The executable named, in rq55ctl's own directory (through any link to rq55ctl), run with the
// same arguments in this process's place, so its exit status and messages are rq55ctl's; only
// when it cannot be run does this one go on, to say why.
int runInPlace(const char* name, const std::string& command, char** argv) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::string program = (error ? std::filesystem::path(argv[0]) : self).parent_path() / name;
    argv[0] = const_cast<char*>(program.c_str());
    ::execv(program.c_str(), argv);
    Say(command + ": " + program + " cannot be run: " + std::strerror(errno));
    return kFailed;
}
#endif

} // namespace

int main(int argc, char** argv) {
#ifndef _WIN32
    // A closed pipe is told by the write that meets it (Print), not by a signal that kills.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    QuietQtWarnings();
    const std::optional<CliOptions> options = ReadCommandLine(argc, argv);
    if (!options) return kUsageError;
    const bool tls = !options->tlsCert.empty() && options->command != "help" && options->command != "version";
#ifdef _WIN32
    if (tls) {
        Say("Modbus/TCP Security (--tls-cert, --tls-key, --tls-ca) is not part of RQ55 for Windows.");
        return kUsageError;
    }
#endif
    if (options->command == "report") return runInPlace("rq55ctl-report", "report", argv);
    // Over Modbus/TCP Security every command but serve and report (which speak it themselves) is
    // rq55ctl-tls's.
    if (tls && options->command != "serve") return runInPlace("rq55ctl-tls", options->command, argv);
    // A stop signal that comes while serve starts waits for it (a held signal stays held across
    // exec): serve ends cleanly all the same.
    if (options->command == "serve") {
#ifdef _WIN32
        Say("serve is a Linux service and is not part of RQ55 for Windows: run it on the Linux machine that holds "
            "the bus.");
        return kUsageError;
#endif
        HoldStopSignals(true);
        return runInPlace("rq55ctl-serve", "serve", argv);
    }
    if (options->command == "help") {
        Print(UsageText());
        return CheckedOutput(kOk);
    }
    if (options->command == "version") {
        Print(std::string("rq55ctl ") + RQ55_VERSION + "\n");
        return CheckedOutput(kOk);
    }
    // A command that runs until stopped ends between two reads, never inside an exchange; the
    // signals are held before Qt starts any thread, so every thread inherits it.
    if (options->watchSeconds > 0) HoldStopSignals();
    if (const int refused = CheckBeforeOpening(*options)) return refused;
    PrepareLink(*options);
    return CheckedOutput(RunCommand(*options));
}
