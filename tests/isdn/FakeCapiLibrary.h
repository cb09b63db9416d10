#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <vector>

#include "capi/CapiEntryPoints.h"

namespace testsupport {

// One message as the program put it, with the data of a DATA_B3_REQ.
struct PutRecord {
    std::vector<uint8_t> message;
    std::vector<uint8_t> data;

    uint8_t Command() const { return message.size() > 4 ? message[4] : 0; }
    uint8_t Subcommand() const { return message.size() > 5 ? message[5] : 0; }
    uint16_t Number() const { return Word(6); }
    uint32_t Address() const;
    uint16_t Word(size_t offset) const;
};

// A CAPI library in process. Entry points are plain functions, so there is
// one fake per process; Reset it at the start of each test. Messages fed with
// Deliver are fetched by the receive thread through get_message.
class FakeCapiLibrary {
public:
    static FakeCapiLibrary& Instance();
    static capi::CapiEntryPoints Table();

    void Reset();

    void Deliver(std::vector<uint8_t> message);
    // The connection ends: every wait fails from now on.
    void EndStream();

    std::vector<PutRecord> Sent() const;
    size_t SentCount() const;
    // Waits (bounded) until `count` messages have been put.
    bool WaitForSent(size_t count, int boundMs = 20000) const;
    bool Registered() const;

    // Called for every accepted put, outside the fake's lock.
    void OnPut(std::function<void(const PutRecord&)> hook);
    // Every put of this command and subcommand is refused with this result.
    void RefusePut(uint8_t command, uint8_t subcommand, uint32_t result);

    // Entry points.
    unsigned Register(unsigned* applId);
    unsigned Release(unsigned applId);
    unsigned Put(unsigned applId, const unsigned char* message);
    unsigned Get(unsigned applId, unsigned char** message);
    unsigned Wait(unsigned applId);

private:
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::deque<std::vector<uint8_t>> m_inbox;
    std::vector<uint8_t> m_current;
    std::vector<PutRecord> m_sent;
    std::function<void(const PutRecord&)> m_hook;
    std::optional<std::pair<uint16_t, uint32_t>> m_refused;
    unsigned m_nApplId = 0;
    unsigned m_nNextApplId = 1;
    bool m_bStreamEnded = false;
};

// Builds a received CAPI message: header, then parameters.
class MessageBuilder {
public:
    MessageBuilder(uint8_t command, uint8_t subcommand, uint16_t number);
    MessageBuilder& U16(uint16_t value);
    MessageBuilder& U32(uint32_t value);
    MessageBuilder& Bytes(const std::vector<uint8_t>& bytes);
    // Sets the length field; bytes appended afterwards follow the message.
    std::vector<uint8_t> Finish(const std::vector<uint8_t>& trailing = {});

private:
    std::vector<uint8_t> m_bytes;
};

}  // namespace testsupport
