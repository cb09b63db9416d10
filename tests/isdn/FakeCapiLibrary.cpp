#include "tests/isdn/FakeCapiLibrary.h"

#include <chrono>
#include <cstring>

namespace testsupport {
namespace {

constexpr unsigned kOk = 0;
constexpr unsigned kIllegalApplId = 0x1101;
constexpr unsigned kQueueEmpty = 0x1104;
constexpr uint8_t kDataB3 = 0x86;
constexpr uint8_t kReq = 0x80;
constexpr size_t kDataB3Long = 30;

uint16_t ReadWord(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

unsigned FakeRegister(unsigned, unsigned, unsigned, unsigned* applId) {
    return FakeCapiLibrary::Instance().Register(applId);
}
unsigned FakeRelease(unsigned applId) {
    return FakeCapiLibrary::Instance().Release(applId);
}
unsigned FakePut(unsigned applId, unsigned char* message) {
    return FakeCapiLibrary::Instance().Put(applId, message);
}
unsigned FakeGet(unsigned applId, unsigned char** message) {
    return FakeCapiLibrary::Instance().Get(applId, message);
}
unsigned FakeWait(unsigned applId, timeval*) {
    return FakeCapiLibrary::Instance().Wait(applId);
}
unsigned char* FakeInfo(unsigned, unsigned char* buffer) {
    return buffer;
}
unsigned FakeProfile(unsigned, unsigned char*) {
    return kOk;
}
unsigned FakeInstalled() {
    return kOk;
}

}  // namespace

uint16_t PutRecord::Word(size_t offset) const {
    return offset + 1 < message.size() ? ReadWord(message.data() + offset) : 0;
}

uint32_t PutRecord::Address() const {
    return static_cast<uint32_t>(Word(8)) | static_cast<uint32_t>(Word(10)) << 16;
}

FakeCapiLibrary& FakeCapiLibrary::Instance() {
    static FakeCapiLibrary fake;
    return fake;
}

capi::CapiEntryPoints FakeCapiLibrary::Table() {
    capi::CapiEntryPoints table;
    table.registerApplication = &FakeRegister;
    table.release = &FakeRelease;
    table.putMessage = &FakePut;
    table.getMessage = &FakeGet;
    table.waitForMessage = &FakeWait;
    table.getManufacturer = &FakeInfo;
    table.getVersion = &FakeInfo;
    table.getSerialNumber = &FakeInfo;
    table.getProfile = &FakeProfile;
    table.isInstalled = &FakeInstalled;
    return table;
}

void FakeCapiLibrary::Reset() {
    std::lock_guard guard(m_lock);
    m_inbox.clear();
    m_sent.clear();
    m_hook = nullptr;
    m_refused.reset();
    m_bStreamEnded = false;
    m_changed.notify_all();
}

void FakeCapiLibrary::Deliver(std::vector<uint8_t> message) {
    std::lock_guard guard(m_lock);
    m_inbox.push_back(std::move(message));
    m_changed.notify_all();
}

void FakeCapiLibrary::EndStream() {
    std::lock_guard guard(m_lock);
    m_bStreamEnded = true;
    m_changed.notify_all();
}

std::vector<PutRecord> FakeCapiLibrary::Sent() const {
    std::lock_guard guard(m_lock);
    return m_sent;
}

size_t FakeCapiLibrary::SentCount() const {
    std::lock_guard guard(m_lock);
    return m_sent.size();
}

bool FakeCapiLibrary::WaitForSent(size_t count, int boundMs) const {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(boundMs),
                              [&] { return m_sent.size() >= count; });
}

bool FakeCapiLibrary::Registered() const {
    std::lock_guard guard(m_lock);
    return m_nApplId != 0;
}

void FakeCapiLibrary::OnPut(std::function<void(const PutRecord&)> hook) {
    std::lock_guard guard(m_lock);
    m_hook = std::move(hook);
}

void FakeCapiLibrary::RefusePut(uint8_t command, uint8_t subcommand, uint32_t result) {
    std::lock_guard guard(m_lock);
    m_refused = {static_cast<uint16_t>(command << 8 | subcommand), result};
}

unsigned FakeCapiLibrary::Register(unsigned* applId) {
    std::lock_guard guard(m_lock);
    m_nApplId = m_nNextApplId++;
    *applId = m_nApplId;
    return kOk;
}

unsigned FakeCapiLibrary::Release(unsigned applId) {
    std::lock_guard guard(m_lock);
    if (applId != m_nApplId) return kIllegalApplId;
    m_nApplId = 0;
    m_changed.notify_all();
    return kOk;
}

unsigned FakeCapiLibrary::Put(unsigned applId, const unsigned char* message) {
    PutRecord record;
    std::function<void(const PutRecord&)> hook;
    {
        std::lock_guard guard(m_lock);
        if (applId != m_nApplId) return kIllegalApplId;
        const uint16_t length = ReadWord(message);
        record.message.assign(message, message + length);
        if (m_refused && m_refused->first == (record.Command() << 8 | record.Subcommand())) {
            return m_refused->second;
        }
        if (record.Command() == kDataB3 && record.Subcommand() == kReq && length >= kDataB3Long) {
            const uint16_t dataLength = record.Word(16);
            uintptr_t pointer = 0;
            std::memcpy(&pointer, message + 22, sizeof pointer);
            const auto* data = reinterpret_cast<const uint8_t*>(pointer);
            record.data.assign(data, data + dataLength);
        }
        m_sent.push_back(record);
        hook = m_hook;
        m_changed.notify_all();
    }
    if (hook) hook(record);
    return kOk;
}

unsigned FakeCapiLibrary::Get(unsigned applId, unsigned char** message) {
    std::lock_guard guard(m_lock);
    if (applId != m_nApplId) return kIllegalApplId;
    if (m_inbox.empty()) return kQueueEmpty;
    m_current = std::move(m_inbox.front());
    m_inbox.pop_front();
    *message = m_current.data();
    return kOk;
}

unsigned FakeCapiLibrary::Wait(unsigned applId) {
    std::unique_lock guard(m_lock);
    m_changed.wait(guard,
                   [&] { return applId != m_nApplId || m_bStreamEnded || !m_inbox.empty(); });
    if (applId != m_nApplId) return kIllegalApplId;
    if (m_bStreamEnded) return kQueueEmpty;
    return kOk;
}

MessageBuilder::MessageBuilder(uint8_t command, uint8_t subcommand, uint16_t number) {
    m_bytes = {0,
               0,
               1,
               0,
               command,
               subcommand,
               static_cast<uint8_t>(number),
               static_cast<uint8_t>(number >> 8)};
}

MessageBuilder& MessageBuilder::U16(uint16_t value) {
    m_bytes.push_back(static_cast<uint8_t>(value));
    m_bytes.push_back(static_cast<uint8_t>(value >> 8));
    return *this;
}

MessageBuilder& MessageBuilder::U32(uint32_t value) {
    U16(static_cast<uint16_t>(value));
    return U16(static_cast<uint16_t>(value >> 16));
}

MessageBuilder& MessageBuilder::Bytes(const std::vector<uint8_t>& bytes) {
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    return *this;
}

std::vector<uint8_t> MessageBuilder::Finish(const std::vector<uint8_t>& trailing) {
    std::vector<uint8_t> out = m_bytes;
    out[0] = static_cast<uint8_t>(out.size());
    out[1] = static_cast<uint8_t>(out.size() >> 8);
    out.insert(out.end(), trailing.begin(), trailing.end());
    return out;
}

}  // namespace testsupport
