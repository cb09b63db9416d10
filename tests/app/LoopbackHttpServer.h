#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace apptest {

// A small HTTP server on 127.0.0.1 for the browser view to load pages from.
// It answers each request with the page registered for its path (a plain
// page otherwise), closes the connection, and records every request head.
class LoopbackHttpServer {
public:
    LoopbackHttpServer() {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::bind(m_listener, Address(address), sizeof address) != 0 ||
            ::listen(m_listener, 16) != 0) {
            return;
        }
        socklen_t length = sizeof address;
        ::getsockname(m_listener, Address(address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~LoopbackHttpServer() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        ::close(m_listener);
    }
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    unsigned Port() const { return m_port; }

    // extraHeaders: complete header lines, each ending in \r\n. A delay
    // holds the reply back, as a slow line does.
    void SetPage(const std::string& path, const std::string& body,
                 const std::string& extraHeaders = {}, int delayMs = 0) {
        std::lock_guard guard(m_lock);
        m_pages[path] = {body, extraHeaders, delayMs};
    }

    std::vector<std::string> Requests() const {
        std::lock_guard guard(m_lock);
        return m_requests;
    }
    std::vector<std::string> RequestsFor(const std::string& path) const {
        std::vector<std::string> matching;
        for (const std::string& request : Requests()) {
            if (request.rfind("GET " + path + " ", 0) == 0) matching.push_back(request);
        }
        return matching;
    }

private:
    struct Page {
        std::string body;
        std::string extraHeaders;
        int delayMs = 0;
    };

    static sockaddr* Address(sockaddr_in& address) { return reinterpret_cast<sockaddr*>(&address); }

    static bool WaitReadable(int fd, int boundMs) {
        pollfd entry{fd, POLLIN, 0};
        return ::poll(&entry, 1, boundMs) > 0;
    }

    void Serve() {
        while (!m_stop) {
            if (!WaitReadable(m_listener, 50)) continue;
            const int connection = ::accept(m_listener, nullptr, nullptr);
            if (connection < 0) continue;
            Answer(connection);
            ::close(connection);
        }
    }

    void Answer(int connection) {
        std::string head;
        char buffer[4096];
        while (head.find("\r\n\r\n") == std::string::npos) {
            if (m_stop || !WaitReadable(connection, 5000)) return;
            const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
            if (got <= 0) return;
            head.append(buffer, static_cast<size_t>(got));
        }
        const size_t pathStart = head.find(' ') + 1;
        const std::string path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
        Page page{"<html><body><p>Seite " + path + "</p></body></html>", {}, 0};
        {
            std::lock_guard guard(m_lock);
            m_requests.push_back(head);
            if (const auto found = m_pages.find(path); found != m_pages.end()) page = found->second;
        }
        if (page.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(page.delayMs));
        const std::string reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n" +
                                  page.extraHeaders +
                                  "Content-Length: " + std::to_string(page.body.size()) +
                                  "\r\nConnection: close\r\n\r\n" + page.body;
        size_t sent = 0;
        while (sent < reply.size()) {
            const ssize_t put =
                ::send(connection, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
            if (put <= 0) return;
            sent += static_cast<size_t>(put);
        }
    }

    int m_listener = -1;
    unsigned m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_lock;
    std::map<std::string, Page> m_pages;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};

}  // namespace apptest
