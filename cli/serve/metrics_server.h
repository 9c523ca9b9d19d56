// GET /metrics over HTTP, on a thread of its own, answered with what `render` makes at that moment
// (so a scrape never waits for the bus). The one file that speaks HTTP, with the limits any host
// that reaches the port must not get past: at most 64 connections (beyond them the one idle the
// longest is dropped), a request line and headers of at most 8 KiB read within 10 s of the
// connection opening or its last answer, no request body (413), GET and HEAD only (405), and the
// connection closed after the answer for HTTP/1.0 or "Connection: close". With a web configuration:
// TLS (its handshake within 5 s, inside the same limits), a client certificate if it asks for one,
// and basic authentication (401 without the right user and password, said on stderr now and then,
// never the password).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "serve/web_config.h"

class MetricsServer {
  public:
    using Render = std::function<std::string()>;
    MetricsServer();
    ~MetricsServer();
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;

    // Listens on every address `host` resolves to, at `port`, as `web` says (its files read now);
    // false with the reason (a file that cannot be used, the resolver's words, or why an address
    // cannot be listened on). `say` tells of refused scrapes.
    bool start(const std::string& host, int port, Render render, const WebConfig& web,
               std::function<void(const std::string&)> say, std::string& why);
    // New settings for the connections that come from now on (serve's SIGHUP); false with the
    // reason, the old settings kept, when one of its files cannot be used.
    bool reconfigure(const WebConfig& web, std::string& why);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};
