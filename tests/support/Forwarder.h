#pragma once

// A TCP forwarder on 127.0.0.1 between the program and a server, for tests of a network that fails.
// It runs on a thread of its own (the program under test may block its own thread), and can:
//  - go silent: pass nothing either way while every connection stays open, as a network that
//    stopped answering (Wi-Fi gone, the other PC switched off); what was held back goes on when
//    it speaks again;
//  - stall one connection the same way (a connection a router forgot), the others going on;
//  - cut a connection, as a network that broke it;
//  - do either when the program sends given bytes (a statement's text), before or after passing
//    them on.
// No Qt Test here: the stress tool uses it too.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Forwarder {
public:
    // Silence: the whole network (setSilent); Stall: the one connection; Cut: the one connection;
    // Farewell: the one connection, the program hearing in place of the server's answer what a
    // server shutting down says last (FATAL 57P01), as the server itself would.
    enum class Action { Silence, Stall, Cut, Farewell };

    // Forwards to 127.0.0.1:targetPort; listens on a free port of its own.
    explicit Forwarder(std::uint16_t targetPort);
    ~Forwarder();
    Forwarder(const Forwarder&) = delete;
    Forwarder& operator=(const Forwarder&) = delete;

    bool isValid() const { return m_listen >= 0; }
    std::uint16_t port() const { return m_port; }

    // When bytes from the program hold pattern: act before passing them on (they never arrive, and
    // a cut loses them) or after. skip occurrences go by first; then it acts times times (-1: on
    // every later occurrence), on every every-th occurrence (0 or 1: on each). Replaces the rule
    // set before.
    void actOn(const std::string& pattern, Action action, bool afterPassing, int times = 1, int skip = 0,
               int every = 1);
    // Stops or resumes all passing, on every connection, new ones too; resuming ends stalls too.
    void setSilent(bool silent);

    // How often the rule acted.
    int acted() const { return m_acted; }

private:
    struct Pair;
    void run();
    void wake();

    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::uint16_t m_port = 0;
    std::uint16_t m_target;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_silent{false};
    std::atomic<bool> m_resume{false};
    std::atomic<int> m_acted{0};

    std::mutex m_ruleMutex;
    std::string m_pattern;
    Action m_action = Action::Silence;
    bool m_after = false;
    int m_times = 0;
    int m_skip = 0;
    int m_every = 1;

    std::vector<std::unique_ptr<Pair>> m_pairs; // the thread's own
};
