// Feeds arbitrary bytes to the dispatcher as received messages. The handlers
// read everything the dispatcher hands them that must lie inside the message,
// so that the address sanitizer sees any read past it; every answer the base
// handlers send is checked against the message limits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "capi/CapiConstants.h"
#include "capi/CapiEntryPoints.h"
#include "capi/CapiOperations.h"
#include "capi/MessageWriter.h"

namespace {

using capi::CapiEntryPoints;

unsigned Register(unsigned, unsigned, unsigned, unsigned* applId) {
    *applId = 1;
    return 0;
}
unsigned Release(unsigned) {
    return 0;
}
unsigned Put(unsigned, unsigned char* message) {
    const size_t length = static_cast<size_t>(message[0] | message[1] << 8);
    if (length < capi::kHeaderLength || length > capi::kMaxMessageLength) std::abort();
    return 0;
}
unsigned Get(unsigned, unsigned char**) {
    return capi::Info::ReceiveQueueEmpty;
}
unsigned Wait(unsigned, timeval*) {
    return capi::Info::ReceiveQueueEmpty;
}
unsigned char* Info(unsigned, unsigned char* buffer) {
    return buffer;
}
unsigned Profile(unsigned, unsigned char*) {
    return 0;
}
unsigned Installed() {
    return 0;
}

CapiEntryPoints Table() {
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
    return table;
}

volatile uint8_t g_sink;

void Touch(const uint8_t* data, size_t length) {
    uint8_t sum = 0;
    for (size_t i = 0; i < length; ++i) sum = static_cast<uint8_t>(sum + data[i]);
    g_sink = sum;
}

class FuzzOperations : public capi::CCapiOperations {
public:
    using CCapiOperations::CCapiOperations;
    const uint8_t* m_pMessageEnd = nullptr;

    void OnInfoInd(uint16_t number, uint32_t plci, uint16_t infoNumber,
                   const uint8_t* element) override {
        Touch(element, capi::StructSize(element));
        CCapiOperations::OnInfoInd(number, plci, infoNumber, element);
    }
    void OnConnectActiveInd(uint16_t number, uint32_t plci, const char* connected,
                            const char* subaddress) override {
        if (connected) Touch(reinterpret_cast<const uint8_t*>(connected), std::strlen(connected));
        if (subaddress)
            Touch(reinterpret_cast<const uint8_t*>(subaddress), std::strlen(subaddress));
        CCapiOperations::OnConnectActiveInd(number, plci, connected, subaddress);
    }
    // Data behind a 64-bit pointer is the library's; data taken from after the
    // message must lie inside the bytes received.
    void OnDataB3Ind(uint16_t number, uint32_t ncci, const uint8_t* data, uint16_t length,
                     uint16_t handle, uint16_t flags) override {
        if (data == m_pMessageEnd) Touch(data, length);
        CCapiOperations::OnDataB3Ind(number, ncci, data, length, handle, flags);
    }
};

FuzzOperations& Operations() {
    static const CapiEntryPoints table = Table();
    static FuzzOperations* operations = [] {
        auto* created = new FuzzOperations(&table);
        created->CapiRegister();
        return created;
    }();
    return *operations;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A buffer of exactly the input's size, so that any read past it is seen.
    std::vector<uint8_t> message(data, data + size);
    FuzzOperations& operations = Operations();
    const size_t length = size >= 2 ? static_cast<size_t>(message[0] | message[1] << 8) : 0;
    operations.m_pMessageEnd = length <= size ? message.data() + length : nullptr;
    operations.DispatchCapiMessage(message.empty() ? nullptr : message.data(), message.size());
    return 0;
}
