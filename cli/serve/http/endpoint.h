// serve's HTTP endpoint: GET /metrics (and HEAD) answered with what `render` makes at that moment,
// so a scrape never waits for the bus, and a small page at / that links to it.
//
// HTTP itself is libmicrohttpd's: request parsing, keep-alive, HEAD, the Date header, TLS through
// GnuTLS, and the limits a door facing any host needs (each connection on a thread of its own so
// that no password check holds up another scrape, a request line and headers within 16 KiB of
// memory, 10 s of idleness). How many connections at once follows the descriptor limit
// (DoorCapsNow: 512 at most); at the cap the connection idle longest is closed to admit a new one,
// and only while every one has a request under way do new ones wait in the listening queue.
// What is the endpoint's own: the listening sockets on every
// address a host name gives, a plain-HTTP request to the TLS port answered 400 in words, the
// checks libmicrohttpd does not make over the headers it has parsed (two Content-Length headers,
// a request body), the web configuration's users, client certificates and headers, and gzip when
// the scraper asks for it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "serve/http/web_config.h"

class MetricsEndpoint {
  public:
    using Render = std::function<void(std::string& out)>;
    using Say = std::function<void(const std::string& kind, const std::string& text)>;
    MetricsEndpoint();
    ~MetricsEndpoint();
    MetricsEndpoint(const MetricsEndpoint&) = delete;
    MetricsEndpoint& operator=(const MetricsEndpoint&) = delete;

    // Listens on every address `host` resolves to, at `port`, as `web` says (its files read now);
    // false with the reason (a file that cannot be used, the resolver's words, or why an address
    // cannot be listened on). `say` tells of refused scrapes, by kind.
    bool start(const std::string& host, int port, Render render, const WebConfig& web, Say say, std::string& why);
    // New settings for the connections that come from now on (serve's reload); false with the
    // reason, the old settings kept, when one of its files cannot be used.
    bool reconfigure(const WebConfig& web, std::string& why);
    void stop();
    // A connection made elsewhere, served as if it had been accepted (plain HTTP): the fuzz target
    // hands over one end of a socket pair.
    void take(int fd);

    struct Impl; // the source's own

  private:
    std::unique_ptr<Impl> impl_;
};
