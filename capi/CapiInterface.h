#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "capi/CapiEntryPoints.h"
#include "platform/Event.h"

namespace capi {

// Binding to the CAPI 2.0 library, loaded at run time. An object without the
// library, or with one that lacks any of the ten entry points, is Unbound:
// every operation on it returns Info::NotInstalled.
//
// The Linux library is not thread safe, so every call into it except the
// wait is serialised under one lock shared by all bindings of the process.
class CCapiInterface {
public:
    static constexpr const char* kLibraryFile = "libcapi20.so.3";

    // Loads the library by its file name.
    CCapiInterface();
    // Works with a table of entry points handed in (a fake library); null or
    // a table missing a required entry point leaves the object Unbound.
    explicit CCapiInterface(const CapiEntryPoints* table);
    // Loads the library from the given file instead.
    explicit CCapiInterface(const std::string& libraryFile);
    CCapiInterface(const CCapiInterface&) = delete;
    CCapiInterface& operator=(const CCapiInterface&) = delete;
    virtual ~CCapiInterface();

    bool IsBound() const { return m_Entry.isInstalled != nullptr; }

    uint32_t CapiInstalled();
    // Registers with two logical connections, seven blocks of 2048 bytes.
    uint32_t CapiRegister();
    // Clears m_bRegistered, wakes a pending wait, releases the application.
    uint32_t CapiRelease();
    // The buffer must hold kPutBufferSize bytes: the library appends DATA_B3
    // data to it.
    uint32_t CapiPutMessage(uint8_t* message);
    uint32_t CapiGetMessage(uint8_t** message);
    // Waits until a message is queued or the application is released.
    uint32_t CapiWaitForSignal();

    // Application ID from the registration; 0 while not registered.
    std::atomic<uint32_t> m_dwApplID{0};
    // Set after a successful registration; the run flag of the receive loop.
    std::atomic<bool> m_bRegistered{false};
    // Counts the releases, so that the receive thread of an earlier
    // registration can tell that its own registration is over even while a
    // new one has set m_bRegistered again.
    std::atomic<uint64_t> m_nReleases{0};

protected:
    struct WaitOutcome {
        uint32_t result;
        // The connection to a remote CAPI server has ended: no message will
        // ever come, and the descriptor stays readable.
        bool streamEnded;
    };
    WaitOutcome WaitForSignal();

    // Ends a pending wait of the receive thread, so that it looks at its run
    // flag again. Only a library that tells its descriptor can be woken so;
    // its own wait ends only with a release.
    void Wake() const;
    bool CanWake() const { return m_Entry.fileno != nullptr && m_nWakeFd >= 0; }

    // Signalled whenever the receive thread is not blocked in the wait.
    platform::CEvent m_SignalEvent{false, false};

private:
    void LoadLibrary(const std::string& file);
    void Bind(const CapiEntryPoints* table);
    void PrepareLibrary();
    void ApplyRemoteSetting();
    void SendWithoutDelay(unsigned applId);
    WaitOutcome WaitForMessage(unsigned applId);
    WaitOutcome PollForMessage(int fd) const;
    void DrainWake() const;

    void* m_hCapiDll = nullptr;
    CapiEntryPoints m_Entry;
    // Written by release so that a wait on another thread returns.
    int m_nWakeFd = -1;
};

}  // namespace capi
