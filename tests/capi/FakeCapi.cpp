#include "tests/capi/FakeCapi.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

#include "capi/CapiConstants.h"

namespace capi::test {

Bytes FromHex(const std::string& hex) {
    std::istringstream in(hex);
    std::string token;
    Bytes bytes;
    while (in >> token)
        bytes.push_back(static_cast<uint8_t>(std::stoul(token == "??" ? "0" : token, nullptr, 16)));
    return bytes;
}

std::string ToHex(const uint8_t* data, size_t length) {
    std::string text;
    char digits[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(digits, sizeof digits, "%02x", data[i]);
        if (!text.empty()) text += ' ';
        text += digits;
    }
    return text;
}

bool Matches(const Bytes& actual, const std::string& pattern) {
    std::istringstream in(pattern);
    std::string token;
    size_t i = 0;
    while (in >> token) {
        if (i >= actual.size()) return false;
        if (token != "??" && actual[i] != std::stoul(token, nullptr, 16)) return false;
        ++i;
    }
    return i == actual.size();
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

FakeCapi* FakeCapi::s_pCurrent = nullptr;

FakeCapi::FakeCapi(Wakeup wakeup) : m_Wakeup(wakeup) {
    s_pCurrent = this;
}

FakeCapi::~FakeCapi() {
    CloseDescriptors();
    s_pCurrent = nullptr;
}

CapiEntryPoints FakeCapi::Table() const {
    CapiEntryPoints table;
    table.registerApplication = &Register;
    table.release = &Release;
    table.putMessage = &Put;
    table.getMessage = &Get;
    table.waitForMessage = &Wait;
    table.getManufacturer = &Info;
    table.getVersion = &Info;
    table.getSerialNumber = &Info;
    table.getProfile = &Profile;
    table.isInstalled = &Installed;
    if (m_Wakeup == Wakeup::Descriptor) table.fileno = &Fileno;
    table.setDriver = &SetDriver;
    table.setHost = &SetHost;
    table.setPort = &SetPort;
    table.registerDebugPrint = &RegisterDebug;
    return table;
}

void FakeCapi::Note(const std::string& call) {
    m_State.calls.push_back(call);
}

void FakeCapi::CloseDescriptors() {
    for (int& fd : m_Fds) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

FakeCapi::Snapshot FakeCapi::State() const {
    std::lock_guard lock(m_Lock);
    return m_State;
}

void FakeCapi::Deliver(const Bytes& message) {
    std::lock_guard lock(m_Lock);
    m_Queue.push_back(message);
    if (m_Fds[1] >= 0) {
        const char signal = 1;
        if (write(m_Fds[1], &signal, 1) != 1) std::perror("fake deliver");
    }
    m_Changed.notify_all();
}

void FakeCapi::EndStream() {
    std::lock_guard lock(m_Lock);
    if (m_Fds[1] >= 0) close(m_Fds[1]);
    m_Fds[1] = -1;
}

unsigned FakeCapi::Installed() {
    FakeCapi& self = *s_pCurrent;
    std::lock_guard lock(self.m_Lock);
    self.Note("installed");
    ++self.m_State.installedCalls;
    return self.installedResult;
}

unsigned FakeCapi::Register(unsigned connections, unsigned blocks, unsigned length,
                            unsigned* applId) {
    FakeCapi& self = *s_pCurrent;
    std::lock_guard lock(self.m_Lock);
    self.Note("register");
    ++self.m_State.registerCalls;
    self.m_State.registerArguments = {connections, blocks, length};
    if (self.registerResult != 0) return self.registerResult;
    self.CloseDescriptors();
    if (self.m_Wakeup == Wakeup::Descriptor &&
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, self.m_Fds) != 0) {
        return Info::RegOsResourceError;
    }
    self.m_Queue.clear();
    self.m_bReleased = false;
    *applId = self.nextApplId;
    self.m_State.applId = self.nextApplId++;
    return 0;
}

unsigned FakeCapi::Release(unsigned applId) {
    FakeCapi& self = *s_pCurrent;
    std::lock_guard lock(self.m_Lock);
    self.Note("release");
    self.m_State.releasedIds.push_back(applId);
    if (applId != self.m_State.applId) return Info::IllegalApplicationId;
    self.m_State.applId = 0;
    self.m_bReleased = true;
    // Like the library: only the application's own descriptor is closed, which
    // does not wake a thread polling it.
    if (self.m_Fds[0] >= 0) close(self.m_Fds[0]);
    self.m_Fds[0] = -1;
    self.m_Changed.notify_all();
    return 0;
}

unsigned FakeCapi::Put(unsigned applId, unsigned char* message) {
    FakeCapi& self = *s_pCurrent;
    std::lock_guard lock(self.m_Lock);
    if (applId != self.m_State.applId) return Info::IllegalApplicationId;
    const size_t length = static_cast<size_t>(message[0] | message[1] << 8);
    self.m_State.puts.emplace_back(message, message + length);
    if (message[4] == Command::DataB3 && message[5] == Subcommand::Req) {
        // As the library does: from Data64 in the long form, else after the message.
        const size_t dataLength = static_cast<size_t>(message[16] | message[17] << 8);
        uint64_t pointer = 0;
        if (length >= kDataB3LongLength) std::memcpy(&pointer, message + 22, sizeof pointer);
        const uint8_t* data =
            pointer != 0 ? reinterpret_cast<const uint8_t*>(pointer) : message + length;
        self.m_State.putData.emplace_back(data, data + dataLength);
    }
    return self.putResult;
}

unsigned FakeCapi::Get(unsigned applId, unsigned char** message) {
    FakeCapi& self = *s_pCurrent;
    std::lock_guard lock(self.m_Lock);
    ++self.m_State.getCalls;
    if (applId != self.m_State.applId) return Info::IllegalApplicationId;
    if (self.failEveryFetch || self.m_Queue.empty()) return Info::ReceiveQueueEmpty;
    if (self.m_Fds[0] >= 0) {
        char signal = 0;
        if (read(self.m_Fds[0], &signal, 1) != 1) return Info::ReceiveQueueEmpty;
    }
    self.m_Current = self.m_Queue.front();
    self.m_Queue.pop_front();
    *message = self.m_Current.data();
    return 0;
}

unsigned FakeCapi::Wait(unsigned applId, timeval*) {
    FakeCapi& self = *s_pCurrent;
    std::unique_lock lock(self.m_Lock);
    if (self.failEveryFetch) return 0;
    self.m_Changed.wait(lock, [&] {
        return self.m_bReleased || applId != self.m_State.applId || !self.m_Queue.empty();
    });
    return applId == self.m_State.applId ? 0 : Info::IllegalApplicationId;
}

unsigned char* FakeCapi::Info(unsigned, unsigned char* buffer) {
    return buffer;
}
unsigned FakeCapi::Profile(unsigned, unsigned char*) {
    return 0;
}

int FakeCapi::Fileno(unsigned applId) {
    FakeCapi& self = *s_pCurrent;
    std::lock_guard lock(self.m_Lock);
    return applId == self.m_State.applId ? self.m_Fds[0] : -1;
}

void FakeCapi::SetDriver(char* text) {
    std::lock_guard lock(s_pCurrent->m_Lock);
    s_pCurrent->Note("setDriver");
    s_pCurrent->driver = text;
}

void FakeCapi::SetHost(char* text) {
    std::lock_guard lock(s_pCurrent->m_Lock);
    s_pCurrent->Note("setHost");
    s_pCurrent->host = text;
}

void FakeCapi::SetPort(int value) {
    std::lock_guard lock(s_pCurrent->m_Lock);
    s_pCurrent->Note("setPort");
    s_pCurrent->port = value;
}

void FakeCapi::RegisterDebug(DebugPrintFn printer) {
    std::lock_guard lock(s_pCurrent->m_Lock);
    s_pCurrent->Note("registerDebug");
    s_pCurrent->debugPrinter = printer;
}

}  // namespace capi::test
