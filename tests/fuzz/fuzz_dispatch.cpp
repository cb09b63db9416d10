// Feeds arbitrary bytes to the dispatcher as received messages. The handlers
// read everything the dispatcher hands them that must lie inside the message,
// so that the address sanitizer sees any read past it; every answer the base
// handlers send is checked against the message limits.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "capi/CapiConstants.h"
#include "capi/CapiOperations.h"
#include "capi/MessageWriter.h"
#include "tests/support/FakeCapiLibrary.h"

namespace {

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

// Every answer the handlers send must keep to the message limits.
void CheckAnswer(const testsupport::PutRecord& answer) {
    const size_t length = answer.message.size();
    if (length < capi::kHeaderLength || length > capi::kMaxMessageLength) std::abort();
}

testsupport::FakeCapiLibrary& Library() {
    static auto* library =
        new testsupport::FakeCapiLibrary(testsupport::FakeCapiLibrary::Wakeup::LibraryWait);
    return *library;
}

FuzzOperations& Operations() {
    static const capi::CapiEntryPoints table = Library().Table();
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
    // The answers are checked as they are put; none are kept from one input
    // to the next.
    Library().Reset();
    Library().OnPut(&CheckAnswer);
    const size_t length = size >= 2 ? static_cast<size_t>(message[0] | message[1] << 8) : 0;
    operations.m_pMessageEnd = length <= size ? message.data() + length : nullptr;
    operations.DispatchCapiMessage(message.empty() ? nullptr : message.data(), message.size());
    return 0;
}
