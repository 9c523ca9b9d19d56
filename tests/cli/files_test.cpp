// Every file the program and rq55ctl write, against the faults a user meets: a full filesystem, a
// file-size limit, a folder that cannot be written. A writer leaves the file that was there byte for
// byte (a recording: whole rows only), no temporary file behind, and says which file and why;
// rq55ctl exits 1.
#include <gtest/gtest.h>

#include <QDir>
#include <csignal>
#include <fstream>
#include <set>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "../views/view_fixture.h"
#include "cli_support.h"

namespace {

using namespace viewtest;
using testsupport::ReadFile;

// A folder with something wrong with it: set up around the files that are there already (written
// by `fill`), and undone by the case.
using Fill = std::function<void()>;
struct Fault {
    const char* name;
    const char* reason; // what the system says of it
    bool (*set)(const std::string& dir, const Fill& fill, std::string& skip);
    void (*undo)(const std::string& dir);
};

// A tmpfs of 64 KiB, filled up (a root's way; CI runs as root).
bool fillUp(const std::string& dir, const Fill& fill, std::string& skip) {
    if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") != 0) return (skip = "tmpfs needs root"), false;
    fill();
    std::ofstream filler(dir + "/filler");
    for (int i = 0; i < 1024 && filler; ++i) filler << std::string(1024, 'x');
    return true;
}
void unmount(const std::string& dir) { ::umount(dir.c_str()); }

// Files of at most 64 bytes, for this process and what it starts (a limit any user may set).
bool limitSize(const std::string&, const Fill& fill, std::string&) {
    fill();
    const rlimit small{64, RLIM_INFINITY};
    return ::setrlimit(RLIMIT_FSIZE, &small) == 0;
}
void unlimitSize(const std::string&) {
    const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &none);
}

// Read-only, as a root's chmod would not make it.
bool readOnly(const std::string& dir, const Fill& fill, std::string& skip) {
    fill();
    if (::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(nullptr, dir.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0)
        return (skip = "a read-only bind mount needs root"), false;
    return true;
}

// A pipe, a device (made only where the suite runs as root; a pipe elsewhere) or a folder where a file
// would go: never replaced by a file of that name.
bool pipes(const std::string& dir, const Fill&, std::string&) {
    for (const char* f : {"m.bin", "t.txt"}) ::mkfifo((dir + "/" + f).c_str(), 0600);
    if (::mknod((dir + "/r.pdf").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0) ::mkfifo((dir + "/r.pdf").c_str(), 0600);
    return ::mkdir((dir + "/r.html").c_str(), 0700) == 0;
}
void nothing(const std::string&) {}

const Fault kFaults[] = {
    {"full filesystem", "No space left on device", fillUp, unmount},
    {"file-size limit", "File too large", limitSize, unlimitSize},
    {"read-only folder", "Read-only file system", readOnly, unmount},
    {"a pipe, a device or a folder at the target", "not a regular file", pipes, nothing},
};

class Files : public LiveView {
  protected:
    // The last message shown, as "title|text".
    std::string lastMessage() const { return messages().empty() ? "" : messages().back(); }
    clitest::CtlRun ctl(std::vector<std::string> args, const std::string& stdoutFile = "") const {
        args.insert(args.end(), {"--tcp", "127.0.0.1:" + std::to_string(analyser.tcpPort())});
        return clitest::ctl(args, stdoutFile);
    }
};

// What is there before: a page of whole CSV rows, so a full filesystem has no room left in it.
const std::string kOld = "a,b\n" + [] {
    std::string rows;
    while (rows.size() < 4092) rows += "1,2\n";
    return rows;
}();

TEST_F(Files, EveryWriterIsWholeOrSaysItIsNot) {
    std::signal(SIGXFSZ, SIG_IGN); // a write over the limit fails instead of ending the process
    open(PRINCIPAL_PARAMETROS, panel_tomadatos);
    SimulateMenuCommand(mainPanel, MENU_INFO_TRAFICO);
    const int monitor = FindPanelByTitle("Traffic monitor");
    ASSERT_TRUE(SimulateTimerTick(panel_tomadatos, TOMADATOS_TIMER) == 1 && monitor > 0);
    SimulateTimerTick(monitor, TRAFICO_TIMER);
    // rq55ctl fails with 1, or with 2 for a file it finds it cannot create before it sends anything.
    const auto said = [](int status, const std::string& err) {
        EXPECT_NE(status, 0);
        return err;
    };
    // Each writer writes the file named, and gives what it said.
    const struct {
        const char* name;
        const char* file;
        std::function<std::string(const std::string& path)> write;
    } writers[] = {
        {"configuration file, menu", "m.bin",
         [&](const std::string& path) {
             chosenFile = path;
             SimulateMenuCommand(mainPanel, MENU_CONF_GUARDAR);
             return lastMessage();
         }},
        {"configuration file, rq55ctl backup", "m.bin",
         [&](const std::string& path) { const auto r = ctl({"backup", path}); return said(r.status, r.err); }},
        {"report, PDF from the dialog", "r.pdf",
         [&](const std::string& path) {
             SimulateMenuCommand(mainPanel, MENU_CONF_INFORME);
             chosenFile = path;
             SimulateCommit(FindPanelByTitle("Report"), INFORME_ESCRIBIR);
             return lastMessage();
         }},
        {"report, HTML from rq55ctl", "r.html",
         [&](const std::string& path) { const auto r = ctl({"report", path}); return said(r.status, r.err); }},
        {"traffic monitor's Save", "t.txt",
         [&](const std::string& path) {
             chosenFile = path;
             SimulateCommit(monitor, TRAFICO_GUARDAR);
             return lastMessage();
         }},
        {"CSV recording", "log.csv",
         [&](const std::string& path) {
             chosenFile = path;
             SimulateCommit(panel_tomadatos, TOMADATOS_GRABAR);
             EXPECT_EQ(SimulateTimerTick(panel_tomadatos, TOMADATOS_TIMER), 1) << "the view goes on";
             EXPECT_EQ(number(panel_tomadatos, TOMADATOS_GRABAR), 0) << "the recording stopped";
             return lastMessage();
         }},
        {"rq55ctl's standard output", "out.csv",
         [&](const std::string& path) {
             const auto r = ctl({"read", "network", "--format", "csv"}, path);
             return path + " " + said(r.status, r.err);
         }},
    };
    for (const Fault& fault : kFaults) {
        testsupport::TempDir dir;
        std::string skip;
        if (!fault.set(dir.path(), [&] { for (const auto& w : writers) std::ofstream(dir.file(w.file)) << kOld; },
                       skip)) {
            std::cout << "[  SKIPPED ] " << fault.name << ": " << skip << "\n";
            continue;
        }
        for (const auto& w : writers) {
            SCOPED_TRACE(std::string(fault.name) + ", " + w.name);
            if (fault.set == readOnly && std::string(w.file) == "out.csv") continue; // no stdout to give it
            // Writing to a pipe is what a recording or a redirection is for.
            if (fault.set == pipes && (std::string(w.file) == "out.csv" || std::string(w.file) == "log.csv")) continue;
            ClearRecordedPopups();
            const std::string path = dir.file(w.file), words = w.write(path);
            // What a program printed to a file it was given goes as far as it could.
            struct stat st {};
            if (fault.set == pipes) {
                EXPECT_TRUE(::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) << "left as it was";
            } else if (std::string(w.file) != "out.csv") {
                EXPECT_TRUE(ReadFile(path) == kOld) << "the file as it was";
            }
            EXPECT_NE(words.find(path), std::string::npos) << words;
            EXPECT_NE(words.find(fault.reason), std::string::npos) << words;
        }
        std::set<std::string> files = {fault.set == fillUp ? "filler" : "a,b"};
        for (const auto& w : writers)
            if (fault.set != pipes) files.insert(w.file);
        const QStringList left = QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden);
        EXPECT_EQ(left.size(), static_cast<qsizetype>(files.size() - (fault.set == fillUp ? 0 : 1)))
            << "no temporary file left: " << left.join(" ").toStdString();
        fault.undo(dir.path());
    }
}

} // namespace
