#include "tests/support/Forwarder.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

struct Forwarder::Pair {
    int client = -1;
    int server = -1;
    // Bytes on their way, held while the forwarder is silent or the other side is slow.
    std::string toServer;
    std::string toClient;
    bool draining = false; // cut: the program's side is gone, the server's is read to its end
    bool stalled = false;  // passes nothing, for ever
};

namespace {

void nonBlocking(int fd) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

// Writes what it can of out to fd; false when fd is broken.
bool flush(int fd, std::string& out) {
    while (!out.empty()) {
        const ssize_t n = ::send(fd, out.data(), out.size(), MSG_NOSIGNAL);
        if (n > 0) {
            out.erase(0, std::size_t(n));
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
    }
    return true;
}

} // namespace

Forwarder::Forwarder(std::uint16_t targetPort) : m_target(targetPort) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (m_listen < 0 || ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listen, 64) != 0 ||
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        if (m_listen >= 0)
            ::close(m_listen);
        m_listen = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

Forwarder::~Forwarder() {
    if (m_listen < 0)
        return;
    m_stop = true;
    wake();
    m_thread.join();
    for (const auto& p : m_pairs) {
        if (p->client >= 0)
            ::close(p->client);
        if (p->server >= 0)
            ::close(p->server);
    }
    ::close(m_listen);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void Forwarder::wake() {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(m_wake[1], &c, 1);
}

void Forwarder::actOn(const std::string& pattern, Action action, bool afterPassing, int times, int skip,
                      int every) {
    std::lock_guard lock(m_ruleMutex);
    m_every = std::max(every, 1);
    m_pattern = pattern;
    m_action = action;
    m_after = afterPassing;
    m_times = times;
    m_skip = skip;
}

void Forwarder::setSilent(bool silent) {
    m_silent = silent;
    if (!silent)
        m_resume = true;
    wake();
}

void Forwarder::run() {
    // Cut: the program's side closes at once; the server's side gets the end of the stream after
    // what was passed, so that the server still reads all of it.
    const auto cut = [](Pair& p) {
        if (p.client >= 0)
            ::close(p.client);
        p.client = -1;
        p.toClient.clear();
        p.toServer.clear();
        if (p.server >= 0)
            ::shutdown(p.server, SHUT_WR);
        p.draining = true;
    };
    const auto stop = [this](Pair& p, Action action) {
        if (action == Action::Silence)
            m_silent = true;
        else
            p.stalled = true;
    };
    char buffer[65536];
    while (!m_stop) {
        const bool silent = m_silent;
        std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_listen, POLLIN, 0}};
        // A silent connection is not looked at at all, not even for its end: nothing of it may
        // reach the other side until the forwarder speaks again.
        for (const auto& p : m_pairs) {
            const bool pass = (!silent && !p->stalled) || p->draining;
            fds.push_back({pass ? p->client : -1, short(POLLIN | (p->toClient.empty() ? 0 : POLLOUT)), 0});
            fds.push_back({pass ? p->server : -1, short(POLLIN | (p->toServer.empty() ? 0 : POLLOUT)), 0});
        }
        if (::poll(fds.data(), nfds_t(fds.size()), -1) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            while (::read(m_wake[0], buffer, sizeof buffer) > 0) {
            }
        if (m_resume.exchange(false))
            for (const auto& p : m_pairs)
                p->stalled = false;
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0) {
                sockaddr_in target{};
                target.sin_family = AF_INET;
                target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                target.sin_port = htons(m_target);
                const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
                if (server < 0 ||
                    ::connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) != 0) {
                    ::close(client);
                    if (server >= 0)
                        ::close(server);
                } else {
                    nonBlocking(client);
                    nonBlocking(server);
                    auto p = std::make_unique<Pair>();
                    p->client = client;
                    p->server = server;
                    m_pairs.push_back(std::move(p));
                }
            }
        }
        for (std::size_t i = 0; i + 2 < fds.size(); i += 2) {
            Pair& p = *m_pairs[i / 2];
            if ((silent || p.stalled) && !p.draining)
                continue;
            const short fromClient = fds[i + 2].revents, fromServer = fds[i + 3].revents;
            if (p.client >= 0 && !p.draining && (fromClient & (POLLIN | POLLHUP | POLLERR))) {
                const ssize_t n = ::read(p.client, buffer, sizeof buffer);
                if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR))) {
                    cut(p);
                } else if (n > 0) {
                    const std::string chunk(buffer, std::size_t(n));
                    bool act = false;
                    Action action;
                    bool after;
                    {
                        std::lock_guard lock(m_ruleMutex);
                        if (!m_pattern.empty() && m_times != 0 &&
                            chunk.find(m_pattern) != std::string::npos) {
                            if (m_skip > 0) {
                                --m_skip;
                            } else {
                                act = true;
                                if (m_times > 0)
                                    --m_times;
                                m_skip = m_every - 1;
                            }
                        }
                        action = m_action;
                        after = m_after;
                    }
                    if (act)
                        ++m_acted;
                    if (act && (action == Action::Cut || action == Action::Farewell) && !after) {
                        cut(p);
                        continue;
                    }
                    p.toServer += chunk;
                    if (act && !after)
                        stop(p, action);
                    if (m_silent || p.stalled)
                        continue;
                    if (!flush(p.server, p.toServer)) {
                        cut(p);
                        continue;
                    }
                    if (act && action == Action::Farewell) {
                        // What the server answers is never passed on: its last words are.
                        const std::string fields =
                            std::string("SFATAL") + '\0' + "VFATAL" + '\0' + "C57P01" + '\0' +
                            "Mterminating connection due to administrator command" + '\0' + '\0';
                        const std::uint32_t length = htonl(std::uint32_t(fields.size() + 4));
                        std::string farewell = "E";
                        farewell.append(reinterpret_cast<const char*>(&length), 4).append(fields);
                        flush(p.client, farewell);
                    }
                    if (act && (action == Action::Cut || action == Action::Farewell)) {
                        cut(p);
                        continue;
                    }
                    if (act)
                        stop(p, action);
                }
            }
            if (p.server >= 0 && (fromServer & (POLLIN | POLLHUP | POLLERR))) {
                const ssize_t n = ::read(p.server, buffer, sizeof buffer);
                if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR))) {
                    ::close(p.server);
                    p.server = -1;
                    if (p.client >= 0 && p.toClient.empty())
                        ::shutdown(p.client, SHUT_WR);
                } else if (n > 0 && !p.draining) {
                    p.toClient.append(buffer, std::size_t(n));
                }
            }
            if ((m_silent || p.stalled) && !p.draining)
                continue;
            if (p.client >= 0 && !flush(p.client, p.toClient))
                cut(p);
            if (p.server >= 0 && !p.draining && !flush(p.server, p.toServer))
                cut(p);
        }
        // Pairs whose both ends are gone.
        m_pairs.erase(
            std::remove_if(m_pairs.begin(), m_pairs.end(),
                           [](const std::unique_ptr<Pair>& p) { return p->client < 0 && p->server < 0; }),
            m_pairs.end());
    }
}
