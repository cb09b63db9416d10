#include "sim/RcapiConnection.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "sim/CapiMessage.h"
#include "sim/IsdnExchange.h"
#include "sim/SimOptions.h"

namespace sim {
namespace {

constexpr uint8_t CMD_REGISTER = 0xF2;
constexpr uint8_t CMD_PROFILE = 0xE0;
constexpr uint8_t CMD_MANUFACTURER = 0xFA;
constexpr uint8_t CMD_VERSION = 0xFC;
constexpr uint8_t CMD_SERIAL = 0xFE;
constexpr uint16_t INFO_ILLEGAL_CONTROLLER = 0x2003;
constexpr uint16_t INFO_ILLEGAL_COMMAND = 0x1102;
constexpr uint16_t INFO_BLOCK_TOO_SMALL = 0x1002;
constexpr uint16_t INFO_RESOURCE = 0x1008;

std::vector<uint8_t> ControlHeader(uint8_t command) {
    return {0, 0, 0, 0, static_cast<uint8_t>(command + 1), 0xFF, 0, 0};
}

void PutWord(std::vector<uint8_t>& out, uint16_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutDword(std::vector<uint8_t>& out, uint32_t value) {
    PutWord(out, static_cast<uint16_t>(value & 0xFFFF));
    PutWord(out, static_cast<uint16_t>(value >> 16));
}

uint16_t Word(std::span<const uint8_t> body, size_t offset) {
    return static_cast<uint16_t>(body[offset] | (body[offset + 1] << 8));
}

// The CAPI profile of controller 1: one BRI with two B-channels that knows
// the protocols a data call uses (HDLC, X.75, transparent).
std::vector<uint8_t> Profile() {
    std::vector<uint8_t> p;
    PutWord(p, 1);            // number of controllers
    PutWord(p, 2);            // B-channels
    PutDword(p, 0x00000001);  // global options: internal controller
    PutDword(p, 0x00000003);  // B1: HDLC, transparent
    PutDword(p, 0x00000003);  // B2: X.75, transparent
    PutDword(p, 0x00000003);  // B3: transparent, T.90
    p.resize(64, 0);
    return p;
}

}  // namespace

CRcapiConnection::CRcapiConnection(int fd, const CSimOptions& options, CPbxSite& site)
    : m_fd(fd), m_wakeFd(eventfd(0, EFD_CLOEXEC)), m_options(options), m_site(site) {}

CRcapiConnection::~CRcapiConnection() {
    Stop();
    if (m_wakeFd >= 0) close(m_wakeFd);
}

void CRcapiConnection::Start() {
    m_thread = std::thread([this] { Run(); });
}

void CRcapiConnection::Stop() {
    if (m_wakeFd >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const auto n = write(m_wakeFd, &one, sizeof one);
    }
    if (m_thread.joinable()) m_thread.join();
}

bool CRcapiConnection::IsControl(std::span<const uint8_t> body) {
    return body.size() >= 6 && body[5] == 0xFF;
}

CRcapiConnection::ControlResult CRcapiConnection::Control(std::span<const uint8_t> body) {
    ControlResult result;
    const uint8_t command = body[4];
    auto& reply = result.reply = ControlHeader(command);
    const uint32_t controller = body.size() >= 12 ? static_cast<uint32_t>(Word(body, 8)) : 0;
    switch (command) {
        case CMD_REGISTER: {
            if (body.size() < 20) {
                PutWord(reply, INFO_RESOURCE);
                break;
            }
            const uint16_t blocks = Word(body, 16);
            const uint16_t blockLen = Word(body, 18);
            const uint16_t info = blockLen < 128 ? INFO_BLOCK_TOO_SMALL
                                  : blocks == 0  ? INFO_RESOURCE
                                                 : 0;
            PutWord(reply, info);
            result.registered = info == 0;
            result.maxBlocks = blocks;
            result.maxBlockLen = blockLen;
            break;
        }
        case CMD_PROFILE:
            if (controller > 1) {
                PutWord(reply, INFO_ILLEGAL_CONTROLLER);
            } else {
                PutWord(reply, 0);
                const auto profile = Profile();
                reply.insert(reply.end(), profile.begin(), profile.begin() + (controller ? 64 : 2));
            }
            break;
        case CMD_MANUFACTURER: {
            // The library copies from one byte past the reply header.
            reply.push_back(0);
            const char name[] = "TK 2408 Remote-CAPI";
            reply.insert(reply.end(), name, name + sizeof name);
            reply.resize(8 + 1 + 64, 0);
            break;
        }
        case CMD_VERSION:
            reply.push_back(0);
            for (uint32_t v : {2u, 0u, 2u, 4u}) PutDword(reply, v);
            break;
        case CMD_SERIAL: {
            reply.push_back(0);
            const char serial[] = "0024081";
            reply.insert(reply.end(), serial, serial + sizeof serial);
            break;
        }
        default:
            PutWord(reply, INFO_ILLEGAL_COMMAND);
            break;
    }
    return result;
}

void CRcapiConnection::Run() {
    using Clock = CIsdnExchange::TimePoint::clock;
    while (!m_bBroken) {
        int timeout = -1;
        if (m_exchange) {
            if (const auto next = m_exchange->NextDeadline()) {
                const auto wait =
                    std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now());
                timeout = static_cast<int>(std::clamp<long long>(wait.count(), 0, 60000));
            }
        }
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        if (poll(fds, 2, timeout) < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
        if (fds[0].revents && !ReadSome()) break;
        if (m_exchange) m_exchange->OnTimer(Clock::now());
        if (m_exchange && m_exchange->DropRequested()) break;
    }
    // A dropped line ends abruptly, as when the network cable is pulled.
    shutdown(m_fd, SHUT_RDWR);
    close(m_fd);
    m_bFinished = true;
}

bool CRcapiConnection::ReadSome() {
    uint8_t buffer[8192];
    const ssize_t n = recv(m_fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n == 0) return false;  // the library released the application
    if (n < 0) return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
    m_framer.Feed(std::span<const uint8_t>(buffer, static_cast<size_t>(n)));
    std::vector<uint8_t> body;
    for (;;) {
        const auto result = m_framer.Next(body);
        if (result == CRcapiFramer::Result::NeedMore) return true;
        if (result == CRcapiFramer::Result::Broken) return false;
        if (!HandleBody(body)) return false;
        if (m_exchange && m_exchange->DropRequested()) return false;
    }
}

bool CRcapiConnection::HandleBody(const std::vector<uint8_t>& body) {
    Log("<-", body);
    if (IsControl(body)) {
        const auto result = Control(body);
        if (result.registered && !m_exchange) {
            m_exchange = std::make_unique<CIsdnExchange>(
                m_options, m_site, [this](const CCapiMessage& m) { WriteFrame(m.Bytes()); },
                result.maxBlocks, result.maxBlockLen);
        }
        return WriteFrame(result.reply);
    }
    const auto message = CCapiMessage::Parse(body);
    // Messages before a registration, or that cannot be read, are dropped.
    if (message && m_exchange)
        m_exchange->OnMessage(*message, CIsdnExchange::TimePoint::clock::now());
    return !m_bBroken;
}

bool CRcapiConnection::WriteFrame(std::span<const uint8_t> body) {
    if (m_bBroken) return false;
    Log("->", body);
    const auto frame = CRcapiFramer::Encode(body);
    if (!frame) return true;
    size_t sent = 0;
    while (sent < frame->size()) {
        const ssize_t n =
            send(m_fd, frame->data() + sent, frame->size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            pollfd fds[2] = {{m_fd, POLLOUT, 0}, {m_wakeFd, POLLIN, 0}};
            if (poll(fds, 2, -1) >= 0 && !fds[1].revents) continue;
        }
        m_bBroken = true;
        return false;
    }
    return true;
}

void CRcapiConnection::Log(const char* direction, std::span<const uint8_t> body) const {
    if (!m_options.verbose) return;
    std::string line = std::string(direction) + " fd " + std::to_string(m_fd) + ":";
    char hex[4];
    for (size_t i = 0; i < std::min<size_t>(body.size(), 40); ++i) {
        std::snprintf(hex, sizeof hex, " %02x", body[i]);
        line += hex;
    }
    if (body.size() > 40) line += " ... (" + std::to_string(body.size()) + " bytes)";
    std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace sim
