#include "tests/sim/CapiTestClient.h"

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdarg>
#include <cstring>
#include <thread>

namespace simtest {
namespace {

struct Library {
    using Register = unsigned (*)(unsigned, unsigned, unsigned, unsigned*);
    using Release = unsigned (*)(unsigned);
    using PutMessage = unsigned (*)(unsigned, unsigned char*);
    using GetMessage = unsigned (*)(unsigned, unsigned char**);
    using Fileno = int (*)(unsigned);
    using SetText = int (*)(char*);
    using SetPort = int (*)(int);
    using Manufacturer = unsigned char* (*)(unsigned, unsigned char*);
    using DebugSink = int (*)(const char*, int, const char*, const char*, va_list);
    using SetDebug = void (*)(DebugSink);

    void* handle = nullptr;
    Register reg = nullptr;
    Release release = nullptr;
    PutMessage put = nullptr;
    GetMessage get = nullptr;
    Fileno fileno = nullptr;
    SetPort setPort = nullptr;
    Manufacturer manufacturer = nullptr;

    template <typename T>
    T Sym(const char* name) {
        return reinterpret_cast<T>(dlsym(handle, name));
    }

    Library() {
        // The library writes to sockets without MSG_NOSIGNAL.
        signal(SIGPIPE, SIG_IGN);
        handle = dlopen("libcapi20.so.3", RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        reg = Sym<Register>("capi20_register");
        release = Sym<Release>("capi20_release");
        put = Sym<PutMessage>("capi20_put_message");
        get = Sym<GetMessage>("capi20_get_message");
        fileno = Sym<Fileno>("capi20_fileno");
        setPort = Sym<SetPort>("capi20ext_set_port");
        manufacturer = Sym<Manufacturer>("capi20_get_manufacturer");
        if (auto setDebug = Sym<SetDebug>("register_dbg_vprintf"))
            setDebug([](const char*, int, const char*, const char*, va_list) { return 0; });
        static char driver[] = "rcapi";
        static char host[] = "127.0.0.1";
        Sym<SetText>("capi20ext_set_driver")(driver);
        Sym<SetText>("capi20ext_set_host")(host);
    }
};

Library& Lib() {
    static Library library;
    return library;
}

}  // namespace

bool CCapiTestClient::LibraryPresent() {
    return Lib().handle && Lib().reg;
}

CCapiTestClient::CCapiTestClient(uint16_t port) {
    Lib().setPort(port);
}

CCapiTestClient::~CCapiTestClient() {
    Release();
}

bool CCapiTestClient::Register(unsigned blocks, unsigned blockLen) {
    return Lib().reg(2, blocks, blockLen, &m_applId) == 0 && m_applId != 0;
}

void CCapiTestClient::Release() {
    if (m_applId) Lib().release(m_applId);
    m_applId = 0;
}

std::string CCapiTestClient::Manufacturer() {
    unsigned char buffer[64] = {};
    if (!Lib().manufacturer(1, buffer)) return {};
    return reinterpret_cast<const char*>(buffer);
}

unsigned CCapiTestClient::Put(const sim::CCapiMessage& message, const std::vector<uint8_t>& data) {
    // The library copies data behind the message and reads a fixed amount.
    std::vector<unsigned char> buffer(4096, 0);
    std::memcpy(buffer.data(), message.Bytes().data(), message.Bytes().size());
    buffer[2] = static_cast<unsigned char>(m_applId & 0xFF);
    buffer[3] = static_cast<unsigned char>(m_applId >> 8);
    if (message.Command() == capi::Command::DataB3 &&
        message.Subcommand() == capi::Subcommand::Req) {
        const auto address = reinterpret_cast<uint64_t>(data.data());
        for (size_t i = 0; i < 8; ++i)
            buffer[22 + i] = static_cast<unsigned char>(address >> (8 * i));
    }
    return Lib().put(m_applId, buffer.data());
}

bool CCapiTestClient::ConnectionClosed() const {
    const int fd = Lib().fileno(m_applId);
    if (fd < 0) return true;
    char byte = 0;
    return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

std::optional<sim::CCapiMessage> CCapiTestClient::Get(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (ConnectionClosed()) return std::nullopt;
        pollfd fd{Lib().fileno(m_applId), POLLIN, 0};
        if (poll(&fd, 1, 50) <= 0) continue;
        unsigned char* raw = nullptr;
        if (Lib().get(m_applId, &raw) != 0 || !raw) continue;
        const size_t length = static_cast<size_t>(raw[0] | (raw[1] << 8));
        std::vector<uint8_t> bytes(raw, raw + std::max<size_t>(length, 8));
        if (bytes.size() < 8) continue;
        // Keep the header readable even when the message claims fewer bytes.
        bytes[0] = static_cast<uint8_t>(std::max<size_t>(length, 8));
        if (raw[4] == capi::Command::DataB3 && raw[5] == capi::Subcommand::Ind && length >= 30) {
            uint64_t address = 0;
            std::memcpy(&address, raw + 22, 8);
            const size_t dataLength = static_cast<size_t>(raw[16] | (raw[17] << 8));
            const auto* data = reinterpret_cast<const uint8_t*>(address);
            bytes.insert(bytes.end(), data, data + dataLength);
            if (autoResp) {
                sim::CCapiMessage resp(capi::Command::DataB3, capi::Subcommand::Resp, 0,
                                       NextNumber());
                resp.AddDword(static_cast<uint32_t>(raw[8] | (raw[9] << 8) | (raw[10] << 16) |
                                                    (static_cast<uint32_t>(raw[11]) << 24)));
                resp.AddWord(static_cast<uint16_t>(raw[18] | (raw[19] << 8)));
                Put(resp);
            }
        }
        auto message = sim::CCapiMessage::Parse(bytes);
        if (message) {
            received.push_back(*message);
            return message;
        }
    }
    return std::nullopt;
}

std::optional<sim::CCapiMessage> CCapiTestClient::WaitFor(uint8_t command, uint8_t subcommand,
                                                          std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        auto message = Get(left);
        if (!message) return std::nullopt;
        if (message->Command() == command && message->Subcommand() == subcommand) return message;
    }
    return std::nullopt;
}

sim::CCapiMessage CCapiTestClient::ConnectReq(const std::string& number, uint16_t cip) {
    std::vector<uint8_t> called{0x80};
    called.insert(called.end(), number.begin(), number.end());
    sim::CCapiMessage m(capi::Command::Connect, capi::Subcommand::Req, 0, NextNumber());
    m.AddDword(1).AddWord(cip).AddStruct(called).AddEmptyStruct().AddEmptyStruct();
    const std::vector<uint8_t> subaddress{0xA0, 0xD4, 0x00, 0x00};
    const std::vector<uint8_t> bprotocol(9, 0);
    m.AddStruct(subaddress).AddStruct(bprotocol);
    for (int i = 0; i < 4; ++i) m.AddEmptyStruct();
    return m;
}

bool CTestCall::Dial(const std::string& number) {
    if (m_client.Put(m_client.ConnectReq(number)) != 0) return false;
    const auto conf = m_client.WaitFor(capi::Command::Connect, capi::Subcommand::Conf);
    if (!conf || conf->ReadWord(12) != 0) return false;
    const auto active = m_client.WaitFor(capi::Command::ConnectActive, capi::Subcommand::Ind);
    if (!active) return false;
    plci = active->ReadDword(8).value_or(0);
    sim::CCapiMessage resp(capi::Command::ConnectActive, capi::Subcommand::Resp, 0,
                           active->MessageNumber());
    m_client.Put(resp.AddDword(plci));
    sim::CCapiMessage b3(capi::Command::ConnectB3, capi::Subcommand::Req, 0, m_client.NextNumber());
    m_client.Put(b3.AddDword(plci).AddEmptyStruct());
    const auto b3conf = m_client.WaitFor(capi::Command::ConnectB3, capi::Subcommand::Conf);
    if (!b3conf || b3conf->ReadWord(12) != 0) return false;
    const auto b3active = m_client.WaitFor(capi::Command::ConnectB3Active, capi::Subcommand::Ind);
    if (!b3active) return false;
    ncci = b3active->ReadDword(8).value_or(0);
    sim::CCapiMessage b3resp(capi::Command::ConnectB3Active, capi::Subcommand::Resp, 0,
                             m_client.NextNumber());
    m_client.Put(b3resp.AddDword(ncci));
    return true;
}

std::optional<uint16_t> CTestCall::SendFrame(const std::vector<uint8_t>& frame) {
    const uint16_t number = m_client.NextNumber();
    sim::CCapiMessage req(capi::Command::DataB3, capi::Subcommand::Req, 0, number);
    req.AddDword(ncci).AddDword(0).AddWord(static_cast<uint16_t>(frame.size())).AddWord(number);
    req.AddWord(0).AddDword(0).AddDword(0);
    if (m_client.Put(req, frame) != 0) return std::nullopt;
    for (;;) {
        const auto conf = m_client.WaitFor(capi::Command::DataB3, capi::Subcommand::Conf);
        if (!conf) return std::nullopt;
        if (conf->MessageNumber() == number) return conf->ReadWord(14);
    }
}

std::optional<std::string> CTestCall::Fetch(const std::string& request, size_t piece) {
    m_client.received.clear();
    if (SendFrame({0x01}) != 0) return std::nullopt;
    for (size_t pos = 0; pos < request.size(); pos += piece) {
        std::vector<uint8_t> frame{0x00};
        const auto part = request.substr(pos, piece);
        frame.insert(frame.end(), part.begin(), part.end());
        if (SendFrame(frame) != 0) return std::nullopt;
    }
    std::string answer;
    for (size_t seen = 0;; ++seen) {
        while (seen >= m_client.received.size())
            if (!m_client.Get(std::chrono::seconds(30))) return std::nullopt;
        const auto& m = m_client.received[seen];
        if (m.Command() != capi::Command::DataB3 || m.Subcommand() != capi::Subcommand::Ind)
            continue;
        const auto data = m.Trailer();
        frameSizes.push_back(data.size());
        if (data.empty()) continue;
        if (data[0] == 0x01) return answer;
        answer.append(data.begin() + 1, data.end());
    }
}

bool CTestCall::Hangup() {
    sim::CCapiMessage b3(capi::Command::DisconnectB3, capi::Subcommand::Req, 0,
                         m_client.NextNumber());
    m_client.Put(b3.AddDword(ncci).AddEmptyStruct());
    sim::CCapiMessage d(capi::Command::Disconnect, capi::Subcommand::Req, 0, m_client.NextNumber());
    m_client.Put(d.AddDword(plci & 0xFFFF).AddEmptyStruct());
    const auto ind = m_client.WaitFor(capi::Command::Disconnect, capi::Subcommand::Ind);
    return ind && ind->ReadWord(12) == 0x3490;
}

}  // namespace simtest
