#include "tests/support/FakeCapiLibrary.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "capi/CapiConstants.h"

namespace testsupport {
namespace {

namespace Info = capi::Info;

uint16_t ReadWord(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

uint16_t Kind(uint8_t command, uint8_t subcommand) {
    return static_cast<uint16_t>(command << 8 | subcommand);
}

// As the library does: a DATA_B3_REQ's data lies behind Data64 in the long
// form, else right after the message.
std::vector<uint8_t> DataB3ReqData(const unsigned char* message, size_t length) {
    constexpr size_t kDataLengthOffset = 16;
    constexpr size_t kData64Offset = 22;
    if (length < kDataLengthOffset + 2) return {};
    const size_t dataLength = ReadWord(message + kDataLengthOffset);
    uint64_t pointer = 0;
    if (length >= capi::kDataB3LongLength) {
        std::memcpy(&pointer, message + kData64Offset, sizeof pointer);
    }
    const uint8_t* data =
        pointer != 0 ? reinterpret_cast<const uint8_t*>(pointer) : message + length;
    return {data, data + dataLength};
}

PutRecord ReadPut(const unsigned char* message) {
    PutRecord record;
    const size_t length = ReadWord(message);
    record.message.assign(message, message + length);
    if (record.Command() == capi::Command::DataB3 && record.Subcommand() == capi::Subcommand::Req) {
        record.data = DataB3ReqData(message, length);
    }
    return record;
}

}  // namespace

uint16_t PutRecord::Word(size_t offset) const {
    return offset + 1 < message.size() ? ReadWord(message.data() + offset) : 0;
}

uint32_t PutRecord::Address() const {
    return static_cast<uint32_t>(Word(8)) | static_cast<uint32_t>(Word(10)) << 16;
}

FakeCapiLibrary* FakeCapiLibrary::s_pCurrent = nullptr;

FakeCapiLibrary::FakeCapiLibrary(Wakeup wakeup) : m_Wakeup(wakeup) {
    s_pCurrent = this;
}

FakeCapiLibrary::~FakeCapiLibrary() {
    CloseDescriptors();
    if (s_pCurrent == this) s_pCurrent = nullptr;
}

capi::CapiEntryPoints FakeCapiLibrary::Table() const {
    capi::CapiEntryPoints table;
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

void FakeCapiLibrary::Reset() {
    std::lock_guard lock(m_Lock);
    m_Queue.clear();
    m_Sent.clear();
    m_Hook = nullptr;
    m_Refused.reset();
    m_bStreamEnded = false;
    m_Changed.notify_all();
}

void FakeCapiLibrary::Deliver(Bytes message) {
    std::lock_guard lock(m_Lock);
    m_Queue.push_back(std::move(message));
    if (m_Fds[1] >= 0) {
        const char signal = 1;
        // The application may be released already and its end closed: that
        // must not end the test process with SIGPIPE.
        if (send(m_Fds[1], &signal, 1, MSG_NOSIGNAL) != 1 && errno != EPIPE) {
            std::perror("fake deliver");
        }
    }
    m_Changed.notify_all();
}

void FakeCapiLibrary::EndStream() {
    std::lock_guard lock(m_Lock);
    if (m_Fds[1] >= 0) close(m_Fds[1]);
    m_Fds[1] = -1;
    m_bStreamEnded = true;
    m_Changed.notify_all();
}

void FakeCapiLibrary::OnPut(std::function<void(const PutRecord&)> hook) {
    std::lock_guard lock(m_Lock);
    m_Hook = std::move(hook);
}

void FakeCapiLibrary::RefusePut(uint8_t command, uint8_t subcommand, uint32_t result) {
    std::lock_guard lock(m_Lock);
    m_Refused = {Kind(command, subcommand), result};
}

std::vector<PutRecord> FakeCapiLibrary::Sent() const {
    std::lock_guard lock(m_Lock);
    return m_Sent;
}

size_t FakeCapiLibrary::SentCount() const {
    std::lock_guard lock(m_Lock);
    return m_Sent.size();
}

bool FakeCapiLibrary::WaitForSent(size_t count, int boundMs) const {
    std::unique_lock lock(m_Lock);
    return m_Changed.wait_for(lock, std::chrono::milliseconds(boundMs),
                              [&] { return m_Sent.size() >= count; });
}

bool FakeCapiLibrary::Registered() const {
    std::lock_guard lock(m_Lock);
    return m_State.applId != 0;
}

FakeCapiLibrary::Snapshot FakeCapiLibrary::State() const {
    std::lock_guard lock(m_Lock);
    Snapshot state = m_State;
    for (const PutRecord& record : m_Sent) {
        state.puts.push_back(record.message);
        if (record.Command() == capi::Command::DataB3 &&
            record.Subcommand() == capi::Subcommand::Req) {
            state.putData.push_back(record.data);
        }
    }
    return state;
}

void FakeCapiLibrary::Note(const std::string& call) {
    m_State.calls.push_back(call);
}

void FakeCapiLibrary::CloseDescriptors() {
    for (int& fd : m_Fds) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

unsigned FakeCapiLibrary::DoRegister(unsigned connections, unsigned blocks, unsigned length,
                                     unsigned* applId) {
    std::lock_guard lock(m_Lock);
    Note("register");
    ++m_State.registerCalls;
    m_State.registerArguments = {connections, blocks, length};
    if (registerResult != 0) return registerResult;
    CloseDescriptors();
    if (m_Wakeup == Wakeup::Descriptor &&
        socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_Fds) != 0) {
        return Info::RegOsResourceError;
    }
    m_Queue.clear();
    m_bReleased = false;
    *applId = nextApplId;
    m_State.applId = nextApplId++;
    return 0;
}

unsigned FakeCapiLibrary::DoRelease(unsigned applId) {
    std::lock_guard lock(m_Lock);
    Note("release");
    m_State.releasedIds.push_back(applId);
    if (applId != m_State.applId) return Info::IllegalApplicationId;
    m_State.applId = 0;
    m_bReleased = true;
    // Like the library: only the application's own descriptor is closed, which
    // does not wake a thread polling it.
    if (m_Fds[0] >= 0) close(m_Fds[0]);
    m_Fds[0] = -1;
    m_Changed.notify_all();
    return 0;
}

unsigned FakeCapiLibrary::DoPut(unsigned applId, const unsigned char* message) {
    PutRecord record;
    std::function<void(const PutRecord&)> hook;
    unsigned result = 0;
    {
        std::lock_guard lock(m_Lock);
        if (applId != m_State.applId) return Info::IllegalApplicationId;
        record = ReadPut(message);
        if (m_Refused && m_Refused->first == Kind(record.Command(), record.Subcommand())) {
            return m_Refused->second;
        }
        m_Sent.push_back(record);
        hook = m_Hook;
        result = putResult;
        m_Changed.notify_all();
    }
    if (hook) hook(record);
    return result;
}

unsigned FakeCapiLibrary::DoGet(unsigned applId, unsigned char** message) {
    std::lock_guard lock(m_Lock);
    ++m_State.getCalls;
    if (applId != m_State.applId) return Info::IllegalApplicationId;
    if (failEveryFetch || m_Queue.empty()) return Info::ReceiveQueueEmpty;
    if (m_Fds[0] >= 0) {
        char signal = 0;
        if (read(m_Fds[0], &signal, 1) != 1) return Info::ReceiveQueueEmpty;
    }
    m_Current = std::move(m_Queue.front());
    m_Queue.pop_front();
    *message = m_Current.data();
    return 0;
}

unsigned FakeCapiLibrary::DoWait(unsigned applId) {
    std::unique_lock lock(m_Lock);
    if (failEveryFetch) return 0;
    m_Changed.wait(lock, [&] {
        return m_bReleased || applId != m_State.applId || m_bStreamEnded || !m_Queue.empty();
    });
    if (applId != m_State.applId) return Info::IllegalApplicationId;
    return m_bStreamEnded ? Info::ReceiveQueueEmpty : 0;
}

// Entry points, reaching the current instance.

unsigned FakeCapiLibrary::Register(unsigned connections, unsigned blocks, unsigned length,
                                   unsigned* applId) {
    return s_pCurrent->DoRegister(connections, blocks, length, applId);
}

unsigned FakeCapiLibrary::Release(unsigned applId) {
    return s_pCurrent->DoRelease(applId);
}

unsigned FakeCapiLibrary::Put(unsigned applId, unsigned char* message) {
    return s_pCurrent->DoPut(applId, message);
}

unsigned FakeCapiLibrary::Get(unsigned applId, unsigned char** message) {
    return s_pCurrent->DoGet(applId, message);
}

unsigned FakeCapiLibrary::Wait(unsigned applId, timeval*) {
    return s_pCurrent->DoWait(applId);
}

unsigned char* FakeCapiLibrary::Info(unsigned, unsigned char* buffer) {
    return buffer;
}

unsigned FakeCapiLibrary::Profile(unsigned, unsigned char*) {
    return 0;
}

unsigned FakeCapiLibrary::Installed() {
    FakeCapiLibrary& self = *s_pCurrent;
    std::lock_guard lock(self.m_Lock);
    self.Note("installed");
    ++self.m_State.installedCalls;
    return self.installedResult;
}

int FakeCapiLibrary::Fileno(unsigned applId) {
    FakeCapiLibrary& self = *s_pCurrent;
    std::lock_guard lock(self.m_Lock);
    return applId == self.m_State.applId ? self.m_Fds[0] : -1;
}

void FakeCapiLibrary::SetDriver(char* text) {
    std::lock_guard lock(s_pCurrent->m_Lock);
    s_pCurrent->Note("setDriver");
    s_pCurrent->driver = text;
}

void FakeCapiLibrary::SetHost(char* text) {
    std::lock_guard lock(s_pCurrent->m_Lock);
    s_pCurrent->Note("setHost");
    s_pCurrent->host = text;
}

void FakeCapiLibrary::SetPort(int value) {
    std::lock_guard lock(s_pCurrent->m_Lock);
    s_pCurrent->Note("setPort");
    s_pCurrent->port = value;
}

void FakeCapiLibrary::RegisterDebug(capi::DebugPrintFn printer) {
    std::lock_guard lock(s_pCurrent->m_Lock);
    s_pCurrent->Note("registerDebug");
    s_pCurrent->debugPrinter = printer;
}

}  // namespace testsupport
