#include "tests/capi/RecordingOperations.h"

#include <cstdarg>
#include <cstdio>

#include "capi/MessageWriter.h"
#include "tests/capi/HexBytes.h"

namespace capi::test {

std::vector<std::string> RecordingOperations::Calls() const {
    std::lock_guard lock(m_Lock);
    return m_Calls;
}

void RecordingOperations::Record(const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    {
        std::lock_guard lock(m_Lock);
        m_Calls.emplace_back(line);
    }
    if (onCall) onCall(line);
}

void RecordingOperations::RecordConf(const char* name, uint16_t number, uint32_t address,
                                     uint16_t info) {
    Record("%s n=%u a=%08x info=%04x", name, number, address, info);
}

void RecordingOperations::OnAlertConf(uint16_t n, uint32_t a, uint16_t i) {
    RecordConf("AlertConf", n, a, i);
}
void RecordingOperations::OnConnectConf(uint16_t n, uint32_t a, uint16_t i) {
    RecordConf("ConnectConf", n, a, i);
}
void RecordingOperations::OnConnectB3Conf(uint16_t n, uint32_t a, uint16_t i) {
    RecordConf("ConnectB3Conf", n, a, i);
}
void RecordingOperations::OnDisconnectB3Conf(uint16_t n, uint32_t a, uint16_t i) {
    RecordConf("DisconnectB3Conf", n, a, i);
}
void RecordingOperations::OnDisconnectConf(uint16_t n, uint32_t a, uint16_t i) {
    RecordConf("DisconnectConf", n, a, i);
}
void RecordingOperations::OnInfoConf(uint16_t n, uint32_t a, uint16_t i) {
    RecordConf("InfoConf", n, a, i);
}
void RecordingOperations::OnListenConf(uint16_t n, uint32_t a, uint16_t i) {
    RecordConf("ListenConf", n, a, i);
}
void RecordingOperations::OnResetB3Conf(uint16_t n, uint32_t a, uint16_t i) {
    RecordConf("ResetB3Conf", n, a, i);
}
void RecordingOperations::OnSelectBProtocolConf(uint16_t n, uint32_t a, uint16_t i) {
    RecordConf("SelectBProtocolConf", n, a, i);
}

void RecordingOperations::OnDataB3Conf(uint16_t number, uint32_t ncci, uint16_t handle,
                                       uint16_t info) {
    Record("DataB3Conf n=%u a=%08x handle=%04x info=%04x", number, ncci, handle, info);
}

void RecordingOperations::OnInfoInd(uint16_t number, uint32_t plci, uint16_t infoNumber,
                                    const uint8_t* infoElement) {
    Record("InfoInd n=%u a=%08x info=%04x element=%s", number, plci, infoNumber,
           ToHex(infoElement, StructSize(infoElement)).c_str());
    CCapiOperations::OnInfoInd(number, plci, infoNumber, infoElement);
}

void RecordingOperations::OnConnectActiveInd(uint16_t number, uint32_t plci,
                                             const char* connectedNumber,
                                             const char* connectedSubaddress) {
    Record("ConnectActiveInd n=%u a=%08x number=%s sub=%s", number, plci,
           connectedNumber ? connectedNumber : "(null)",
           connectedSubaddress ? connectedSubaddress : "(null)");
    CCapiOperations::OnConnectActiveInd(number, plci, connectedNumber, connectedSubaddress);
}

void RecordingOperations::OnConnectB3Ind(uint16_t number, uint32_t ncci) {
    Record("ConnectB3Ind n=%u a=%08x", number, ncci);
    CCapiOperations::OnConnectB3Ind(number, ncci);
}

void RecordingOperations::OnConnectB3ActiveInd(uint16_t number, uint32_t ncci) {
    Record("ConnectB3ActiveInd n=%u a=%08x", number, ncci);
    CCapiOperations::OnConnectB3ActiveInd(number, ncci);
}

void RecordingOperations::OnDisconnectInd(uint16_t number, uint32_t plci, uint16_t reason) {
    Record("DisconnectInd n=%u a=%08x reason=%04x", number, plci, reason);
    CCapiOperations::OnDisconnectInd(number, plci, reason);
}

void RecordingOperations::OnDataB3Ind(uint16_t number, uint32_t ncci, const uint8_t* data,
                                      uint16_t length, uint16_t handle, uint16_t flags) {
    Record("DataB3Ind n=%u a=%08x data=[%s] handle=%04x flags=%04x", number, ncci,
           ToHex(data, length).c_str(), handle, flags);
    CCapiOperations::OnDataB3Ind(number, ncci, data, length, handle, flags);
}

void RecordingOperations::OnConnectionLost() {
    ++connectionLost;
    Record("ConnectionLost");
    CCapiOperations::OnConnectionLost();
}

}  // namespace capi::test
