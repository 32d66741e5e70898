#pragma once
// A stand-in data service on 127.0.0.1 that misbehaves on demand: it answers every request with
// a one-record record set (at once or after a delay), never answers, closes each connection at
// once, or is down altogether (nothing listens on its port) and can come back on the same port.
// One thread, every wait bounded; the destructor stops it.
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace faults {

enum class Behaviour { Answer, Silent, CloseAtOnce, Down };

class FaultServer {
public:
    explicit FaultServer(Behaviour behaviour, std::chrono::milliseconds delay = std::chrono::milliseconds(0));
    ~FaultServer();
    FaultServer(const FaultServer&) = delete;
    FaultServer& operator=(const FaultServer&) = delete;

    // Takes effect for the next connection and request; Down drops every connection and stops
    // listening, anything else after Down listens again on the same port.
    void Set(Behaviour behaviour);
    void SetDelay(std::chrono::milliseconds delay) { delayMs_ = static_cast<int>(delay.count()); }

    int Port() const { return port_; }
    // "http://127.0.0.1:PORT/"
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_) + "/"; }
    // The request targets that arrived (path and query), in order, whether answered or not.
    std::vector<std::string> Received();
    // Connections accepted so far.
    int Connections() const { return connections_; }

private:
    void Loop();
    void Listen();

    std::atomic<Behaviour> behaviour_;
    std::atomic<int> delayMs_;
    std::atomic<bool> stop_{false};
    std::atomic<unsigned> asked_{0}, applied_{0};  // Set() waits until the loop has acted on it
    std::atomic<int> connections_{0};
    int listener_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};
    std::mutex mutex_;
    std::vector<std::string> received_;
    std::thread thread_;
};

// A one-record persisted record set, as the service answers.
const std::string& OneRecord();

}  // namespace faults
