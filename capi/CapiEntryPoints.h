#pragma once

#include <cstdarg>

struct timeval;

namespace capi {

// Function types of the Linux CAPI library's entry points, in its calling
// convention (all results unsigned, application IDs passed as unsigned).
using RegisterFn = unsigned (*)(unsigned maxLogicalConnection, unsigned maxBDataBlocks,
                                unsigned maxBDataLen, unsigned* applId);
using ReleaseFn = unsigned (*)(unsigned applId);
using PutMessageFn = unsigned (*)(unsigned applId, unsigned char* message);
using GetMessageFn = unsigned (*)(unsigned applId, unsigned char** message);
using WaitForMessageFn = unsigned (*)(unsigned applId, timeval* timeout);
using GetInfoFn = unsigned char* (*)(unsigned controller, unsigned char* buffer);
using GetProfileFn = unsigned (*)(unsigned controller, unsigned char* buffer);
using InstalledFn = unsigned (*)();
using FilenoFn = int (*)(unsigned applId);
using SetTextFn = void (*)(char* text);
using SetPortFn = void (*)(int port);
using DebugPrintFn = int (*)(const char* file, int line, const char* function, const char* format,
                             va_list arguments);
using RegisterDebugPrintFn = void (*)(DebugPrintFn printer);

// The table of entry points a binding works with: the real library's, or a
// fake one handed in by a test. The first ten are required (all or none); the
// rest are extras of the Linux library and may be null.
struct CapiEntryPoints {
    RegisterFn registerApplication = nullptr;
    ReleaseFn release = nullptr;
    PutMessageFn putMessage = nullptr;
    GetMessageFn getMessage = nullptr;
    WaitForMessageFn waitForMessage = nullptr;
    GetInfoFn getManufacturer = nullptr;
    GetInfoFn getVersion = nullptr;
    GetInfoFn getSerialNumber = nullptr;
    GetProfileFn getProfile = nullptr;
    InstalledFn isInstalled = nullptr;

    FilenoFn fileno = nullptr;
    SetTextFn setDriver = nullptr;
    SetTextFn setHost = nullptr;
    SetPortFn setPort = nullptr;
    RegisterDebugPrintFn registerDebugPrint = nullptr;

    bool HasAllRequired() const {
        return registerApplication && release && putMessage && getMessage && waitForMessage &&
               getManufacturer && getVersion && getSerialNumber && getProfile && isInstalled;
    }
};

}  // namespace capi
