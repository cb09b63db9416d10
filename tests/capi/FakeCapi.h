#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "capi/CapiEntryPoints.h"

namespace capi::test {

using Bytes = std::vector<uint8_t>;

// "0d 00 42" -> bytes; "??" stands for a byte not compared (see Matches).
Bytes FromHex(const std::string& hex);
std::string ToHex(const uint8_t* data, size_t length);
inline std::string ToHex(const Bytes& bytes) {
    return ToHex(bytes.data(), bytes.size());
}
// Compares with a pattern from FromHex-style text in which "??" matches any byte.
bool Matches(const Bytes& actual, const std::string& pattern);

// Polls a condition until it holds or the bound passes; generous by default
// so that a loaded machine does not fail the test.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds bound = std::chrono::seconds(20));

// A CAPI library driven by the test. One instance at a time is reachable
// through the table of entry points it hands out.
class FakeCapi {
public:
    enum class Wakeup {
        Descriptor,  // exports fileno: a socket pair per registration
        LibraryWait  // no fileno: its own wait blocks until a message or release
    };

    explicit FakeCapi(Wakeup wakeup = Wakeup::Descriptor);
    ~FakeCapi();
    FakeCapi(const FakeCapi&) = delete;
    FakeCapi& operator=(const FakeCapi&) = delete;

    // All entry points, the extras included.
    CapiEntryPoints Table() const;

    // Queues one message for the registered application and signals it.
    void Deliver(const Bytes& message);
    // The remote server goes away: the descriptor reads as end of stream.
    void EndStream();

    // Behaviour, set before use.
    unsigned installedResult = 0;
    unsigned registerResult = 0;
    unsigned putResult = 0;
    unsigned nextApplId = 0x42;
    // The library's wait returns at once with this result (LibraryWait only),
    // and every fetch fails: a library that keeps failing.
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

private:
    static FakeCapi* s_pCurrent;

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
    static void RegisterDebug(DebugPrintFn);

    void Note(const std::string& call);
    void CloseDescriptors();

    Wakeup m_Wakeup;
    mutable std::mutex m_Lock;
    std::condition_variable m_Changed;
    Snapshot m_State;
    std::deque<Bytes> m_Queue;
    Bytes m_Current;  // the message handed out last, valid until the next fetch
    int m_Fds[2] = {-1, -1};
    bool m_bReleased = false;

public:
    std::string driver, host;
    int port = 0;
    DebugPrintFn debugPrinter = nullptr;
};

}  // namespace capi::test
