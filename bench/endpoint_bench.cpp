#include "bench/endpoint_bench.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "platform/system.h"
#include "sim/simulator.h"

namespace {

using Clock = std::chrono::steady_clock;

// One scraper as Prometheus is one: a TLS connection kept alive, a GET with basic authentication
// after the last answer; the time of each answer noted, from the connection's start for its first.
// With `once`, a new connection for each scrape, one a second.
void scraper(int port, const std::string& authorization, double seconds, std::vector<double>& latencies,
             std::atomic<int>& failures, bool once = false) {
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr); // the server's certificate is the bench's own
    const std::string request = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: " + authorization +
                                "\r\nAccept-Encoding: gzip\r\n\r\n";
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        const auto opened = Clock::now();
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(static_cast<uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        SSL* tls = SSL_new(context);
        SSL_set_fd(tls, fd);
        if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0 || SSL_connect(tls) != 1) {
            ++failures;
            SSL_free(tls);
            close(fd);
            continue;
        }
        for (bool first = true; Clock::now() < end; first = false) {
            const auto asked = first ? opened : Clock::now();
            if (SSL_write(tls, request.data(), static_cast<int>(request.size())) <= 0) break;
            std::string got;
            char buffer[65536];
            size_t length = std::string::npos, head = std::string::npos;
            while (head == std::string::npos || got.size() < head + 4 + length) {
                const int n = SSL_read(tls, buffer, sizeof buffer);
                if (n <= 0) break;
                got.append(buffer, static_cast<size_t>(n));
                if (head == std::string::npos && (head = got.find("\r\n\r\n")) != std::string::npos) {
                    const size_t at = got.find("Content-Length: ");
                    length = at < head ? std::stoul(got.substr(at + 16)) : 0;
                }
            }
            if (got.rfind("HTTP/1.1 200", 0) != 0 || head == std::string::npos) {
                ++failures;
                break;
            }
            latencies.push_back(std::chrono::duration<double>(Clock::now() - asked).count());
            if (once) break;
        }
        SSL_shutdown(tls);
        SSL_free(tls);
        close(fd);
        if (once) std::this_thread::sleep_until(opened + std::chrono::seconds(1));
    }
    SSL_CTX_free(context);
}

struct Load {
    double cpuPerScrape = 0, p99 = 0;
    int scrapes = 0, failures = 0;
};

// `scrapers` at once for `seconds`: the server's CPU per scrape and the 99th percentile of the time
// to an answer.
Load measure(int pid, int port, const std::string& authorization, int scrapers, double seconds) {
    std::vector<std::vector<double>> latencies(static_cast<size_t>(scrapers));
    std::atomic<int> failures = 0;
    const double cpu = ProcessCpuSeconds(pid);
    std::vector<std::thread> threads;
    for (auto& l : latencies) threads.emplace_back(scraper, port, authorization, seconds, std::ref(l), std::ref(failures), false);
    for (std::thread& t : threads) t.join();
    std::vector<double> all;
    for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    Load load;
    load.scrapes = static_cast<int>(all.size());
    load.failures = failures;
    if (all.empty()) return load;
    std::sort(all.begin(), all.end());
    load.p99 = all[std::min(all.size() - 1, all.size() * 99 / 100)];
    load.cpuPerScrape = (ProcessCpuSeconds(pid) - cpu) / static_cast<double>(all.size());
    return load;
}

bool writeFile(const QString& path, const std::string& text) {
    std::ofstream out(path.toStdString());
    out << text;
    return static_cast<bool>(out);
}

} // namespace

// serve's endpoint beside Prometheus' node exporter (with one small collector, so that both answer
// about as much), each with the same web configuration (TLS and a bcrypt password), scraped by 1,
// 20 and 100 scrapers at once, taken in turn.
bool MeasureEndpoint() {
    const QString exporter = QStandardPaths::findExecutable("prometheus-node-exporter");
    QTemporaryDir dir;
    if (exporter.isEmpty() || !dir.isValid()) {
        std::printf("\nendpoint: prometheus-node-exporter is not installed (scripts/install-deps --test)\n");
        return false;
    }
    const QString d = dir.path();
    QProcess openssl;
    openssl.setWorkingDirectory(d);
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", "s.key", "-out", "s.crt",
                              "-days", "2", "-subj", "/CN=bench", "-addext", "subjectAltName=IP:127.0.0.1"});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0) return false;
    // bcrypt of "s3cret" at cost 10, as htpasswd -nBC 10 makes it.
    const std::string web = "tls_server_config:\n  cert_file: " + (d + "/s.crt").toStdString() + "\n  key_file: " +
                            (d + "/s.key").toStdString() +
                            "\nbasic_auth_users:\n  prom: '$2b$10$pav4EM5Jiw5rJJNoKr4Mluxq9KHQXe1Kfb4UdrHejgXV2CSq4fPVC'\n";
    if (!writeFile(d + "/web.yml", web)) return false;
    const std::string authorization = "Basic cHJvbTpzM2NyZXQ="; // prom:s3cret

    sim::Simulator analyser;
    if (!analyser.start({.transport = sim::Transport::ModbusTcp, .moving = false, .seed = 1})) return false;
    const int servePort = FreePort(), exporterPort = FreePort();
    QProcess serve, node;
    serve.start(RQ55CTL_PATH, {"serve", "--tcp", QString("127.0.0.1:%1").arg(analyser.tcpPort()), "--modbus-tcp",
                               "--metrics", QString::number(servePort), "--web-config", d + "/web.yml"});
    node.start(exporter, {"--web.listen-address=127.0.0.1:" + QString::number(exporterPort),
                          "--web.config.file=" + d + "/web.yml", "--collector.disable-defaults", "--collector.time"});
    if (!serve.waitForStarted() || !node.waitForStarted()) return false;
    QThread::msleep(2000); // both listening, serve's first poll done
    struct Target {
        const char* name;
        int pid, port;
    };
    const Target targets[] = {{"rq55ctl serve", static_cast<int>(serve.processId()), servePort},
                              {"node exporter", static_cast<int>(node.processId()), exporterPort}};
    constexpr double kSeconds = 5;
    std::printf("\n/metrics over TLS with a bcrypt password (cost 10), scrapers keeping their connections, %g s "
                "each, in turn:\n",
                kSeconds);
    std::printf("  | scrapers | rq55ctl serve: CPU per scrape | p99 | node exporter: CPU per scrape | p99 |\n");
    std::printf("  |---|---|---|---|---|\n");
    bool ok = true;
    for (int scrapers : {1, 20, 100}) {
        Load load[2];
        for (int t = 0; t < 2; ++t) load[t] = measure(targets[t].pid, targets[t].port, authorization, scrapers, kSeconds);
        ok = ok && load[0].failures == 0 && load[0].scrapes > 0; // the node exporter's failures are a figure
        std::printf("  | %d | %.0f us (%d scrapes) | %.1f ms | %.0f us (%d scrapes) | %.1f ms |\n", scrapers,
                    load[0].cpuPerScrape * 1e6, load[0].scrapes, load[0].p99 * 1e3, load[1].cpuPerScrape * 1e6,
                    load[1].scrapes, load[1].p99 * 1e3);
        if (load[0].failures || load[1].failures)
            std::printf("  (failed scrapes: serve %d, node exporter %d)\n", load[0].failures, load[1].failures);
    }
    // Eight clients sending a wrong password as fast as they are answered, beside one with the right
    // password on a new connection every second, as a fresh scraper would come.
    std::printf("\n/metrics under a flood of wrong passwords (8 clients, %g s): the right password's scrapes, "
                "each on a new connection:\n",
                3 * kSeconds);
    std::printf("  | | answered | slowest | failed |\n  |---|---|---|---|\n");
    for (const Target& target : targets) {
        std::atomic<int> refused = 0, failures = 0;
        std::vector<std::vector<double>> ignored(8);
        std::vector<double> latencies;
        std::vector<std::thread> flood;
        for (auto& l : ignored)
            flood.emplace_back(scraper, target.port, "Basic cHJvbTp3cm9uZw==", 3 * kSeconds, std::ref(l), std::ref(refused),
                               false); // prom:wrong
        scraper(target.port, authorization, 3 * kSeconds, latencies, failures, true);
        for (std::thread& t : flood) t.join();
        std::printf("  | %s | %zu | %.2f s | %d |\n", target.name, latencies.size(),
                    latencies.empty() ? 0.0 : *std::max_element(latencies.begin(), latencies.end()), failures.load());
        ok = ok && (target.pid != targets[0].pid || (failures == 0 && !latencies.empty()));
    }
    serve.terminate();
    node.terminate();
    serve.waitForFinished(30000);
    node.waitForFinished(30000);
    return ok;
}
