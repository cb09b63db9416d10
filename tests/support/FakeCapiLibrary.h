#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capi/CapiEntryPoints.h"

namespace testsupport {

// One message as the program put it, with the data of a DATA_B3_REQ read as
// the library reads it.
struct PutRecord {
    std::vector<uint8_t> message;
    std::vector<uint8_t> data;

    uint8_t Command() const { return message.size() > 4 ? message[4] : 0; }
    uint8_t Subcommand() const { return message.size() > 5 ? message[5] : 0; }
    uint16_t Number() const { return Word(6); }
    uint32_t Address() const;
    uint16_t Word(size_t offset) const;
};

// A CAPI library in process, driven by the test. Its entry points are plain
// functions, so one instance at a time is reachable through the table it
// hands out: the one constructed last.
class FakeCapiLibrary {
public:
    using Bytes = std::vector<uint8_t>;

    enum class Wakeup {
        Descriptor,  // exports fileno: a socket pair per registration
        LibraryWait  // no fileno: its own wait blocks until a message or release
    };

    explicit FakeCapiLibrary(Wakeup wakeup = Wakeup::Descriptor);
    ~FakeCapiLibrary();
    FakeCapiLibrary(const FakeCapiLibrary&) = delete;
    FakeCapiLibrary& operator=(const FakeCapiLibrary&) = delete;

    // All entry points, the extras included.
    capi::CapiEntryPoints Table() const;

    // Forgets the messages put and queued and the behaviour set with OnPut
    // and RefusePut, and revives an ended stream; a registration stays.
    void Reset();

    // Queues one message for the registered application and signals it.
    void Deliver(Bytes message);
    // The remote server goes away: the descriptor reads as end of stream and
    // the library's own wait fails from now on.
    void EndStream();

    // Called for every accepted put, outside the fake's lock.
    void OnPut(std::function<void(const PutRecord&)> hook);
    // Every put of this command and subcommand is refused with this result
    // and not recorded.
    void RefusePut(uint8_t command, uint8_t subcommand, uint32_t result);

    std::vector<PutRecord> Sent() const;
    size_t SentCount() const;
    // Waits (bounded) until `count` messages have been put.
    bool WaitForSent(size_t count, int boundMs = 20000) const;
    bool Registered() const;

    // Behaviour, set before use.
    unsigned installedResult = 0;
    unsigned registerResult = 0;
    unsigned putResult = 0;
    unsigned nextApplId = 0x42;
    // The library's wait returns at once (LibraryWait only), and every fetch
    // fails: a library that keeps failing.
    bool failEveryFetch = false;

    struct Snapshot {
        int installedCalls = 0;
        int registerCalls = 0;
        int getCalls = 0;
        std::vector<unsigned> registerArguments;  // of the latest registration
        std::vector<unsigned> releasedIds;
        std::vector<Bytes> puts;         // every message put, as long as its header says
        std::vector<Bytes> putData;      // DATA_B3_REQ data, read as the library does
        std::vector<std::string> calls;  // entry points in calling order
        unsigned applId = 0;             // currently registered, 0 if none
    };
    Snapshot State() const;

    // What the extras were handed.
    std::string driver, host;
    int port = 0;
    capi::DebugPrintFn debugPrinter = nullptr;

private:
    static FakeCapiLibrary* s_pCurrent;

    static unsigned Register(unsigned, unsigned, unsigned, unsigned*);
    static unsigned Release(unsigned);
    static unsigned Put(unsigned, unsigned char*);
    static unsigned Get(unsigned, unsigned char**);
    static unsigned Wait(unsigned, timeval*);
    static unsigned char* Info(unsigned, unsigned char*);
    static unsigned Profile(unsigned, unsigned char*);
    static unsigned Installed();
    static int Fileno(unsigned);
    static void SetDriver(char*);
    static void SetHost(char*);
    static void SetPort(int);
    static void RegisterDebug(capi::DebugPrintFn);

    unsigned DoRegister(unsigned connections, unsigned blocks, unsigned length, unsigned* applId);
    unsigned DoRelease(unsigned applId);
    unsigned DoPut(unsigned applId, const unsigned char* message);
    unsigned DoGet(unsigned applId, unsigned char** message);
    unsigned DoWait(unsigned applId);
    void Note(const std::string& call);
    void CloseDescriptors();

    Wakeup m_Wakeup;
    mutable std::mutex m_Lock;
    mutable std::condition_variable m_Changed;
    Snapshot m_State;  // all but the puts, which m_Sent holds
    std::vector<PutRecord> m_Sent;
    std::deque<Bytes> m_Queue;
    Bytes m_Current;  // the message handed out last, valid until the next fetch
    std::function<void(const PutRecord&)> m_Hook;
    std::optional<std::pair<uint16_t, uint32_t>> m_Refused;
    int m_Fds[2] = {-1, -1};
    bool m_bReleased = false;
    bool m_bStreamEnded = false;
};

}  // namespace testsupport
