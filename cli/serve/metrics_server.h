// GET /metrics over HTTP, on a thread of its own, answered with what `render` makes at that moment
// (so a scrape never waits for the bus). The one file that speaks HTTP, with the limits any host
// that reaches the port must not get past: at most 64 connections (beyond them the one idle the
// longest is dropped), a request line and headers of at most 8 KiB read within 10 s of the
// connection opening or its last answer, no request body (413), GET and HEAD only (405), and the
// connection closed after the answer for HTTP/1.0 or "Connection: close".
#pragma once

#include <functional>
#include <memory>
#include <string>

class MetricsServer {
  public:
    using Render = std::function<std::string()>;
    MetricsServer();
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Listens on every address `host` resolves to, at `port`; false with the reason (the
    // resolver's words, or why an address cannot be listened on).
    bool start(const std::string& host, int port, Render render, std::string& why);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
