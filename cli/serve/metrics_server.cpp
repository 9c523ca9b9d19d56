#include "serve/metrics_server.h"

#include <QHostAddress>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QThread>
#include <mutex>

struct MetricsServer::Impl {
    QThread thread;
    QObject context; // lives on the thread, where the server is made, runs and goes
    std::unique_ptr<QHttpServer> server;
    std::mutex mutex;
    std::string text;
};

MetricsServer::MetricsServer() : impl_(std::make_unique<Impl>()) {}

MetricsServer::~MetricsServer() {
    if (!impl_->thread.isRunning()) return;
    QMetaObject::invokeMethod(&impl_->context, [this] { impl_->server.reset(); }, Qt::BlockingQueuedConnection);
    impl_->thread.quit();
    impl_->thread.wait();
}

bool MetricsServer::start(const std::string& host, int port, std::string& why) {
    impl_->context.moveToThread(&impl_->thread);
    impl_->thread.start();
    bool listening = false;
    QMetaObject::invokeMethod(
        &impl_->context,
        [&] {
            impl_->server = std::make_unique<QHttpServer>();
            impl_->server->route("/metrics", QHttpServerRequest::Method::Get, [this](const QHttpServerRequest&) {
                std::lock_guard lock(impl_->mutex);
                return QHttpServerResponse("text/plain; version=0.0.4; charset=utf-8",
                                           QByteArray::fromStdString(impl_->text));
            });
            QHostAddress address;
            if (!address.setAddress(QString::fromStdString(host))) {
                why = "\"" + host + "\" is not an IP address to listen on";
                return;
            }
            listening = impl_->server->listen(address, static_cast<quint16>(port)) != 0;
            if (!listening) why = "cannot listen on " + host + ":" + std::to_string(port);
        },
        Qt::BlockingQueuedConnection);
    return listening;
}

void MetricsServer::publish(std::string text) {
    std::lock_guard lock(impl_->mutex);
    impl_->text = std::move(text);
}
