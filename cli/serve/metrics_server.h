// GET /metrics over HTTP, answered from a thread of its own with the text last given, so a scrape
// never waits for the bus. The one file that knows Qt's HTTP server (a technology preview in
// Qt 6.4).
#pragma once

#include <memory>
#include <string>

class MetricsServer {
  public:
    MetricsServer();
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Listens on host:port; false with the reason when it cannot.
    bool start(const std::string& host, int port, std::string& why);
    // What the next scrapes are answered with.
    void publish(std::string text);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
