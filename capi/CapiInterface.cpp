#include "capi/CapiInterface.h"

#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>

#include "capi/CapiConstants.h"
#include "capi/RemoteCapiSetting.h"

namespace capi {
namespace {

// The library keeps per-application buffer lists and static conversion
// buffers without any lock of its own, and its state is per process.
std::mutex& LibraryLock() {
    static std::mutex lock;
    return lock;
}

// The library reports "not installed" with the register class value; the
// program knows only one value for it.
uint32_t Normalise(unsigned result) {
    return result == Info::RegNotInstalled ? Info::NotInstalled : result;
}

int SilentDebugPrint(const char*, int, const char*, const char*, va_list) {
    return 0;
}

// The library writes to sockets without MSG_NOSIGNAL: a vanished remote server
// would otherwise kill the process with SIGPIPE.
void IgnoreBrokenPipes() {
    static std::once_flag once;
    std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
}

template <typename Fn>
Fn Symbol(void* library, const char* name) {
    return reinterpret_cast<Fn>(dlsym(library, name));
}

CapiEntryPoints ResolveEntryPoints(void* library) {
    CapiEntryPoints table;
    table.registerApplication = Symbol<RegisterFn>(library, "capi20_register");
    table.release = Symbol<ReleaseFn>(library, "capi20_release");
    table.putMessage = Symbol<PutMessageFn>(library, "capi20_put_message");
    table.getMessage = Symbol<GetMessageFn>(library, "capi20_get_message");
    table.waitForMessage = Symbol<WaitForMessageFn>(library, "capi20_waitformessage");
    table.getManufacturer = Symbol<GetInfoFn>(library, "capi20_get_manufacturer");
    table.getVersion = Symbol<GetInfoFn>(library, "capi20_get_version");
    table.getSerialNumber = Symbol<GetInfoFn>(library, "capi20_get_serial_number");
    table.getProfile = Symbol<GetProfileFn>(library, "capi20_get_profile");
    table.isInstalled = Symbol<InstalledFn>(library, "capi20_isinstalled");
    table.fileno = Symbol<FilenoFn>(library, "capi20_fileno");
    table.setDriver = Symbol<SetTextFn>(library, "capi20ext_set_driver");
    table.setHost = Symbol<SetTextFn>(library, "capi20ext_set_host");
    table.setPort = Symbol<SetPortFn>(library, "capi20ext_set_port");
    table.registerDebugPrint = Symbol<RegisterDebugPrintFn>(library, "register_dbg_vprintf");
    return table;
}

// A readable descriptor that has nothing to read is a remote server that
// closed the connection (or reset it); a CAPI device is not a socket.
bool StreamEnded(int fd) {
    char byte = 0;
    const ssize_t count = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (count > 0) return false;
    if (count == 0) return true;
    return errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR && errno != ENOTSOCK;
}

}  // namespace

CCapiInterface::CCapiInterface() : CCapiInterface(std::string(kLibraryFile)) {}

CCapiInterface::CCapiInterface(const CapiEntryPoints* table) {
    m_nWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_SignalEvent.Set();
    Bind(table);
}

CCapiInterface::CCapiInterface(const std::string& libraryFile) {
    m_nWakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_SignalEvent.Set();
    LoadLibrary(libraryFile);
}

CCapiInterface::~CCapiInterface() {
    if (m_bRegistered) {
        CapiRelease();
        m_SignalEvent.Wait(5000);
    }
    m_Entry = CapiEntryPoints();
    if (m_hCapiDll != nullptr) dlclose(m_hCapiDll);
    if (m_nWakeFd >= 0) close(m_nWakeFd);
}

void CCapiInterface::LoadLibrary(const std::string& file) {
    IgnoreBrokenPipes();
    m_hCapiDll = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (m_hCapiDll == nullptr) return;
    const CapiEntryPoints table = ResolveEntryPoints(m_hCapiDll);
    Bind(&table);
}

void CCapiInterface::Bind(const CapiEntryPoints* table) {
    if (table == nullptr || !table->HasAllRequired()) return;
    m_Entry = *table;
    PrepareLibrary();
}

void CCapiInterface::PrepareLibrary() {
    std::lock_guard lock(LibraryLock());
    // The library's trace goes to stderr and is chatty; the program keeps no
    // log unless asked to.
    const char* trace = std::getenv("QUORBEL_CAPI_TRACE");
    const bool wantTrace = trace != nullptr && *trace != '\0';
    if (m_Entry.registerDebugPrint && !wantTrace) m_Entry.registerDebugPrint(&SilentDebugPrint);
    ApplyRemoteSetting();
}

// Must run before the library reads its configuration, i.e. before the first
// other call into a freshly loaded library.
void CCapiInterface::ApplyRemoteSetting() {
    const char* text = std::getenv(CRemoteCapiSetting::kVariable);
    if (text == nullptr || *text == '\0') return;
    std::string error;
    const std::optional<CRemoteCapiSetting> setting = CRemoteCapiSetting::Parse(text, error);
    if (!setting) {
        std::fprintf(stderr, "quorbel: %s=\"%s\" ignored: %s (example: rcapi:127.0.0.1:2662)\n",
                     CRemoteCapiSetting::kVariable, text, error.c_str());
        return;
    }
    if (!m_Entry.setDriver || !m_Entry.setHost || !m_Entry.setPort) {
        std::fprintf(stderr, "quorbel: %s ignored: the CAPI library cannot select a server\n",
                     CRemoteCapiSetting::kVariable);
        return;
    }
    std::string driver = setting->Driver();
    std::string host = setting->Host();
    m_Entry.setDriver(driver.data());
    m_Entry.setHost(host.data());
    m_Entry.setPort(setting->Port());
}

uint32_t CCapiInterface::CapiInstalled() {
    if (!m_Entry.isInstalled) return Info::NotInstalled;
    std::lock_guard lock(LibraryLock());
    return Normalise(m_Entry.isInstalled());
}

uint32_t CCapiInterface::CapiRegister() {
    if (!m_Entry.registerApplication) return Info::NotInstalled;
    DrainWake();
    unsigned applId = 0;
    uint32_t result = 0;
    {
        std::lock_guard lock(LibraryLock());
        result = Normalise(m_Entry.registerApplication(kMaxLogicalConnections, kMaxBDataBlocks,
                                                       kMaxBDataLength, &applId));
    }
    if (result != Info::Success) return result;
    // Only the low 16 bits travel in message headers; anything else is not an
    // application ID the library could have given.
    if (applId == 0 || applId > 0xFFFF) return Info::RegOsResourceError;
    m_dwApplID = applId;
    m_bRegistered = true;
    SendWithoutDelay(applId);
    return Info::Success;
}

// A remote CAPI server is reached over TCP, where Nagle's algorithm would hold
// every small message (a frame of a few bytes, a response) until the server's
// delayed acknowledgement, some 40 ms per exchange. A local device is no
// socket; the option then simply does not apply.
void CCapiInterface::SendWithoutDelay(unsigned applId) {
    if (!m_Entry.fileno) return;
    int descriptor = -1;
    {
        std::lock_guard lock(LibraryLock());
        descriptor = m_Entry.fileno(applId);
    }
    if (descriptor < 0) return;
    const int on = 1;
    setsockopt(descriptor, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

uint32_t CCapiInterface::CapiRelease() {
    if (!m_Entry.release) return Info::NotInstalled;
    m_bRegistered = false;
    ++m_nReleases;
    Wake();
    // Under the lock, so that two releases never free the same ID twice (the
    // ID table is shared by every process on the machine).
    std::lock_guard lock(LibraryLock());
    const unsigned applId = m_dwApplID;
    if (applId == 0) return Info::NotInstalled;
    const uint32_t result = Normalise(m_Entry.release(applId));
    m_dwApplID = 0;
    return result;
}

uint32_t CCapiInterface::CapiPutMessage(uint8_t* message) {
    if (!m_Entry.putMessage) return Info::NotInstalled;
    std::lock_guard lock(LibraryLock());
    const unsigned applId = m_dwApplID;
    if (applId == 0) return Info::NotInstalled;
    return Normalise(m_Entry.putMessage(applId, message));
}

uint32_t CCapiInterface::CapiGetMessage(uint8_t** message) {
    if (!m_Entry.getMessage) return Info::NotInstalled;
    std::lock_guard lock(LibraryLock());
    const unsigned applId = m_dwApplID;
    if (applId == 0) return Info::NotInstalled;
    return Normalise(m_Entry.getMessage(applId, message));
}

uint32_t CCapiInterface::CapiWaitForSignal() {
    return WaitForSignal().result;
}

CCapiInterface::WaitOutcome CCapiInterface::WaitForSignal() {
    const unsigned applId = m_dwApplID;
    if (!m_Entry.waitForMessage || applId == 0) return {Info::NotInstalled, false};
    m_SignalEvent.Reset();
    const WaitOutcome outcome = WaitForMessage(applId);
    m_SignalEvent.Set();
    return outcome;
}

// The library's own wait is a select() on the application's descriptor that a
// release on another thread does not end; waiting on the descriptor together
// with our wake-up descriptor does.
CCapiInterface::WaitOutcome CCapiInterface::WaitForMessage(unsigned applId) {
    int fd = -1;
    if (m_Entry.fileno && m_nWakeFd >= 0) {
        std::lock_guard lock(LibraryLock());
        fd = m_Entry.fileno(applId);
    }
    if (fd < 0) return {Normalise(m_Entry.waitForMessage(applId, nullptr)), false};
    return PollForMessage(fd);
}

CCapiInterface::WaitOutcome CCapiInterface::PollForMessage(int fd) const {
    pollfd fds[2] = {{fd, POLLIN, 0}, {m_nWakeFd, POLLIN, 0}};
    int count = 0;
    do {
        count = poll(fds, 2, -1);
    } while (count < 0 && errno == EINTR);
    if (count < 0) return {Info::MsgOsResourceError, false};
    // Released meanwhile: the descriptor may already be closed.
    if (fds[1].revents != 0) return {Info::IllegalApplicationId, false};
    if ((fds[0].revents & POLLNVAL) != 0) return {Info::IllegalApplicationId, false};
    if (StreamEnded(fd)) return {Info::MsgOsResourceError, true};
    return {Info::Success, false};
}

void CCapiInterface::Wake() const {
    if (m_nWakeFd < 0) return;
    const uint64_t one = 1;
    // A full counter already wakes every waiter; nothing to do on failure.
    [[maybe_unused]] const ssize_t written = write(m_nWakeFd, &one, sizeof one);
}

void CCapiInterface::DrainWake() const {
    if (m_nWakeFd < 0) return;
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(m_nWakeFd, &count, sizeof count);
}

}  // namespace capi
