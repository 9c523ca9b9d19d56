// What every exporter tells of itself, in the exposition format: the process's CPU time, resident
// memory, start time, open and most file descriptors (from /proc, as Prometheus' client libraries
// read them), and which version of serve this is.
#pragma once

#include <string>

// Appends the families process_cpu_seconds_total, process_resident_memory_bytes,
// process_start_time_seconds, process_open_fds, process_max_fds and rq55_build_info.
void AppendProcessMetrics(std::string& out);
