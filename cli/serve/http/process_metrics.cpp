#include "serve/http/process_metrics.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

void family(std::string& out, const char* name, const char* type, const char* help, const std::string& sample) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n" + sample + "\n";
}

std::string number(double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

// Fields of /proc/self/stat after the command's name: utime and stime (14, 15), starttime (22) in
// clock ticks since boot, rss (24) in pages.
bool readStat(double& cpuSeconds, double& startTicks, double& rssPages) {
    std::ifstream stat("/proc/self/stat");
    std::string all((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const size_t close = all.rfind(')');
    if (close == std::string::npos) return false;
    std::istringstream fields(all.substr(close + 2));
    std::string f[22];
    for (std::string& field : f) fields >> field;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    cpuSeconds = (std::stod(f[11]) + std::stod(f[12])) / ticks;
    startTicks = std::stod(f[19]);
    rssPages = std::stod(f[21]);
    return true;
}

double bootTime() {
    std::ifstream stat("/proc/stat");
    for (std::string line; std::getline(stat, line);)
        if (line.rfind("btime ", 0) == 0) return std::stod(line.substr(6));
    return 0;
}

long openFds() {
    long count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (const dirent* entry = readdir(dir))
            if (entry->d_name[0] != '.') ++count;
        closedir(dir);
        --count; // the directory's own
    }
    return count;
}

} // namespace

void AppendProcessMetrics(std::string& out) {
    double cpu = 0, start = 0, rss = 0;
    if (readStat(cpu, start, rss)) {
        family(out, "process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.",
               "process_cpu_seconds_total " + number(cpu));
        family(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.",
               "process_resident_memory_bytes " + number(rss * static_cast<double>(sysconf(_SC_PAGESIZE))));
        family(out, "process_start_time_seconds", "gauge", "Start time of the process since unix epoch in seconds.",
               "process_start_time_seconds " + number(bootTime() + start / static_cast<double>(sysconf(_SC_CLK_TCK))));
    }
    family(out, "process_open_fds", "gauge", "Number of open file descriptors.",
           "process_open_fds " + std::to_string(openFds()));
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0)
        family(out, "process_max_fds", "gauge", "Maximum number of open file descriptors.",
               "process_max_fds " + number(static_cast<double>(limit.rlim_cur)));
    family(out, "rq55_build_info", "gauge", "The version of rq55ctl serve, as a label; always 1.",
           std::string("rq55_build_info{version=\"") + RQ55_VERSION + "\"} 1");
}
