#include "sim/simulator.h"

#include <cstdio>

#include "sim/fault_plan.h"
#include "sim/model.h"
#include "sim/slave.h"
#include "sim/transports.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <future>
#include <mutex>

namespace sim {

namespace {

// Runs the transport and its event loop; exec() is protected, hence the subclass.
class ServingThread : public QThread {
  public:
    explicit ServingThread(std::function<void()> body) : body_(std::move(body)) {}
    void serveUntilQuit() { exec(); }

  protected:
    void run() override { body_(); }

  private:
    std::function<void()> body_;
};

} // namespace

struct Simulator::Impl {
    mutable std::mutex mutex;
    Options options;
    std::unique_ptr<Model> model;
    std::vector<std::pair<int, std::unique_ptr<Model>>> others; // the further analysers by address
    FaultPlan faults;
    std::vector<ReceivedRequest> log; // the latest options.keptRequests, oldest first
    int received = 0;                 // since the start or clearRequests()
    std::function<void(bool, const std::vector<uint8_t>&)> trace;
    std::function<void(const std::string&)> noteHandler;
    int notes = 0;
    int numberingRegister = 0;
    int requestOrdinal = 0;
    std::chrono::steady_clock::time_point origin = std::chrono::steady_clock::now();

    std::unique_ptr<ServingThread> thread;
    std::string devicePath;
    uint16_t port = 0;
    TcpTransport* tcp = nullptr; // owned by the thread's run; valid while it runs

    double now() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - origin).count();
    }

    std::vector<Transmission> handle(const Bytes& pdu, Framing framing, uint16_t transactionId) {
        std::lock_guard lock(mutex);
        Model* target = model.get();
        int address = options.deviceAddress;
        for (auto& [other, otherModel] : others)
            if (!pdu.empty() && pdu[0] == other) {
                target = otherModel.get();
                address = other;
            }
        if (numberingRegister) target->setReg(numberingRegister, static_cast<uint16_t>(++requestOrdinal));
        Slave slave(*target, faults, address);
        Exchange exchange = slave.handle(pdu, framing, transactionId, now());
        ++received;
        if (options.keptRequests > 0) {
            if (log.size() >= options.keptRequests)
                log.erase(log.begin(), log.begin() + static_cast<long>((options.keptRequests + 1) / 2));
            log.push_back(std::move(exchange.request));
        }
        return std::move(exchange.reply);
    }

    void noteEvent(const std::string& event) {
        std::function<void(const std::string&)> copy;
        {
            std::lock_guard lock(mutex);
            ++notes;
            copy = noteHandler;
        }
        if (copy) copy(event);
    }

    void traceBytes(bool received, const Bytes& bytes) {
        std::function<void(bool, const std::vector<uint8_t>&)> copy;
        {
            std::lock_guard lock(mutex);
            copy = trace;
        }
        if (copy) copy(received, bytes);
    }

    // Runs on the simulator's thread: sets up the transport, reports, serves until quit.
    void serve(std::promise<std::string>& ready) {
        RequestHandler handler;
        handler.handle = [this](const Bytes& pdu, Framing framing, uint16_t id) {
            return handle(pdu, framing, id);
        };
        handler.trace = [this](bool received, const Bytes& bytes) { traceBytes(received, bytes); };
        handler.note = [this](const std::string& event) { noteEvent(event); };
        std::string error;
        if (options.transport == Transport::Pty) {
            PtyTransport pty(handler, options.lineBaud);
            if (!pty.open(&error)) return ready.set_value(error);
            devicePath = pty.devicePath();
            ready.set_value({});
            thread->serveUntilQuit();
        } else {
            TcpTransport server(handler,
                                options.transport == Transport::ModbusTcp ? Framing::Mbap : Framing::Rtu,
                                {options.maxUnsentPerClient, options.dropUnreadingClientAfter});
            if (!server.listen(options.tcpPort, &error)) return ready.set_value(error);
            port = server.port();
            tcp = &server;
            ready.set_value({});
            thread->serveUntilQuit();
            tcp = nullptr;
        }
    }
};

Simulator::Simulator() : impl_(std::make_unique<Impl>()) {}

Simulator::~Simulator() { stop(); }

bool Simulator::start(const Options& options, std::string* error) {
    if (impl_->thread) {
        if (error) *error = "the simulator is already running";
        return false;
    }
    // Qt's event loops, the simulator thread's included, refuse to run without an application.
    if (!QCoreApplication::instance()) {
        if (error) *error = "the simulator needs a QCoreApplication (or QApplication) to exist";
        return false;
    }
    {
        std::lock_guard lock(impl_->mutex);
        impl_->options = options;
        impl_->origin = std::chrono::steady_clock::now();
        impl_->model = std::make_unique<Model>(options, impl_->now());
        impl_->others.clear();
        for (int address : options.moreAddresses) {
            Options other = options;
            other.deviceAddress = address;
            other.seed = options.seed == 0 ? 0 : options.seed + static_cast<unsigned>(address);
            char suffix[8];
            std::snprintf(suffix, sizeof suffix, "%02d", address % 100);
            other.serialNumber = options.serialNumber.substr(0, 4) + suffix;
            impl_->others.emplace_back(address, std::make_unique<Model>(other, impl_->now()));
        }
        impl_->log.clear();
    }
    std::promise<std::string> ready;
    std::future<std::string> outcome = ready.get_future();
    impl_->thread = std::make_unique<ServingThread>([this, &ready] { impl_->serve(ready); });
    impl_->thread->start();
    std::string problem = outcome.get();
    if (!problem.empty()) {
        impl_->thread->wait();
        impl_->thread.reset();
        if (error) *error = problem;
        return false;
    }
    return true;
}

void Simulator::stop() {
    if (!impl_->thread) return;
    // exec() started after quit() returns at once, so there is no race with the start-up.
    impl_->thread->quit();
    impl_->thread->wait();
    impl_->thread.reset();
}

std::string Simulator::devicePath() const { return impl_->devicePath; }

uint16_t Simulator::tcpPort() const { return impl_->port; }

int Simulator::modelCode() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->model ? impl_->model->modelCode() : 0;
}

uint16_t Simulator::reg(int address) const {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->model) return 0;
    impl_->model->advance(impl_->now());
    return impl_->model->reg(address);
}

void Simulator::setReg(int address, uint16_t value) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->model) impl_->model->setReg(address, value);
}

void Simulator::numberRequests(int address) {
    std::lock_guard lock(impl_->mutex);
    impl_->numberingRegister = address;
    impl_->requestOrdinal = 0;
}

void Simulator::setFloat(int address, float value) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->model) impl_->model->setFloat(address, value);
}

float Simulator::getFloat(int address) const {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->model) return 0.0f;
    impl_->model->advance(impl_->now());
    return impl_->model->getFloat(address);
}

void Simulator::setBlockFloat(int blockStart, int index, float value) {
    std::lock_guard lock(impl_->mutex);
    if (impl_->model) impl_->model->setBlockFloat(blockStart, index, value);
}

float Simulator::blockFloat(int blockStart, int index) const {
    std::lock_guard lock(impl_->mutex);
    if (!impl_->model) return 0.0f;
    impl_->model->advance(impl_->now());
    return impl_->model->blockFloat(blockStart, index);
}

void Simulator::addFault(const FaultRule& rule) {
    std::lock_guard lock(impl_->mutex);
    impl_->faults.add(rule);
}

void Simulator::clearFaults() {
    std::lock_guard lock(impl_->mutex);
    impl_->faults.clear();
}

std::vector<ReceivedRequest> Simulator::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

void Simulator::clearRequests() {
    std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
    impl_->received = 0;
}

int Simulator::requestCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

void Simulator::dropConnections() {
    if (!impl_->thread || !impl_->tcp) return;
    QObject* context = impl_->tcp->context();
    if (QThread::currentThread() == impl_->thread.get()) {
        impl_->tcp->dropConnections();
        return;
    }
    QMetaObject::invokeMethod(
        context,
        [this] {
            if (impl_->tcp) impl_->tcp->dropConnections();
        },
        Qt::BlockingQueuedConnection);
}

void Simulator::setNotes(std::function<void(const std::string& event)> notes) {
    std::lock_guard lock(impl_->mutex);
    impl_->noteHandler = std::move(notes);
}

int Simulator::noteCount() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->notes;
}

void Simulator::setTrace(std::function<void(bool received, const std::vector<uint8_t>& bytes)> trace) {
    std::lock_guard lock(impl_->mutex);
    impl_->trace = std::move(trace);
}

} // namespace sim
