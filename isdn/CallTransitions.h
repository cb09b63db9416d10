#pragma once

#include <cstdint>
#include <optional>

namespace isdn {

// Where the one outgoing data call stands.
enum class CallState : uint32_t {
    Idle,                 // no call; the only state in which a call starts
    ConnectRequested,     // CONNECT_REQ sent, CONNECT_CONF awaited
    ConnectConfirmed,     // CONNECT_CONF accepted, CONNECT_ACTIVE_IND awaited
    Requesting,           // a request that decides the next state is under way
    B3ConnectRequested,   // CONNECT_B3_REQ sent, CONNECT_B3_CONF awaited
    B3ConnectConfirmed,   // CONNECT_B3_CONF accepted, CONNECT_B3_ACTIVE_IND awaited
    Connected,            // B3 connection active; frames may flow
    DisconnectRequested,  // clearing asked for, DISCONNECT_IND awaited
};

// What moves the call.
enum class CallEvent {
    Dial,             // Connect, before its CONNECT_REQ goes out
    DialRefused,      // the library refused that CONNECT_REQ
    ConnectConfOk,    // positive CONNECT_CONF
    ConnectConfFail,  // negative CONNECT_CONF
    ActiveInd,        // CONNECT_ACTIVE_IND; CONNECT_B3_REQ about to go out
    B3Requested,      // CONNECT_B3_REQ has been put (or refused)
    B3ConfOk,         // positive CONNECT_B3_CONF
    B3ConfFail,       // negative CONNECT_B3_CONF; DISCONNECT_REQ about to go out
    B3ActiveInd,      // CONNECT_B3_ACTIVE_IND
    ClearB3,          // Hangup: DISCONNECT_B3_REQ about to go out
    Clear,            // Hangup or a failed B3 set-up: DISCONNECT_REQ goes out
    DisconnectInd,    // DISCONNECT_IND: the call is over
    ConnectionLost,   // the connection to CAPI ended under the call
};

// One row of the state machine. A row without `from` applies in every state.
struct CallTransition {
    std::optional<CallState> from;
    CallEvent event;
    CallState next;
};

// The whole state machine, one row per transition, first match wins.
inline constexpr CallTransition kCallTransitions[] = {
    // Placing the call.
    {CallState::Idle, CallEvent::Dial, CallState::ConnectRequested},
    {CallState::ConnectRequested, CallEvent::DialRefused, CallState::Idle},
    {CallState::ConnectRequested, CallEvent::ConnectConfOk, CallState::ConnectConfirmed},
    {CallState::ConnectRequested, CallEvent::ConnectConfFail, CallState::Idle},
    // A hang-up that came before the CONNECT_CONF clears the call it names.
    {CallState::DisconnectRequested, CallEvent::ConnectConfOk, CallState::DisconnectRequested},
    {CallState::DisconnectRequested, CallEvent::ConnectConfFail, CallState::Idle},
    {CallState::ConnectRequested, CallEvent::ActiveInd, CallState::Requesting},
    {CallState::ConnectConfirmed, CallEvent::ActiveInd, CallState::Requesting},
    {CallState::Requesting, CallEvent::B3Requested, CallState::B3ConnectRequested},
    {CallState::B3ConnectRequested, CallEvent::B3ConfOk, CallState::B3ConnectConfirmed},
    {CallState::B3ConnectRequested, CallEvent::B3ConfFail, CallState::Requesting},
    {CallState::B3ConnectRequested, CallEvent::B3ActiveInd, CallState::Connected},
    {CallState::B3ConnectConfirmed, CallEvent::B3ActiveInd, CallState::Connected},
    // Clearing from our side.
    {CallState::B3ConnectRequested, CallEvent::ClearB3, CallState::Requesting},
    {CallState::B3ConnectConfirmed, CallEvent::ClearB3, CallState::Requesting},
    {CallState::Connected, CallEvent::ClearB3, CallState::Requesting},
    {CallState::ConnectRequested, CallEvent::Clear, CallState::DisconnectRequested},
    {CallState::ConnectConfirmed, CallEvent::Clear, CallState::DisconnectRequested},
    {CallState::Requesting, CallEvent::Clear, CallState::DisconnectRequested},
    {CallState::B3ConnectRequested, CallEvent::Clear, CallState::DisconnectRequested},
    {CallState::B3ConnectConfirmed, CallEvent::Clear, CallState::DisconnectRequested},
    {CallState::Connected, CallEvent::Clear, CallState::DisconnectRequested},
    // The end of the call, whoever ended it.
    {std::nullopt, CallEvent::DisconnectInd, CallState::Idle},
    {std::nullopt, CallEvent::ConnectionLost, CallState::Idle},
};

// The state the event leads to from `state`, or nothing when the event has
// no effect there (a late or crossing message).
constexpr std::optional<CallState> NextCallState(CallState state, CallEvent event) {
    for (const CallTransition& row : kCallTransitions) {
        if (row.event == event && (!row.from || *row.from == state)) return row.next;
    }
    return std::nullopt;
}

constexpr const char* CallStateName(CallState state) {
    switch (state) {
        case CallState::Idle:
            return "Idle";
        case CallState::ConnectRequested:
            return "ConnectRequested";
        case CallState::ConnectConfirmed:
            return "ConnectConfirmed";
        case CallState::Requesting:
            return "Requesting";
        case CallState::B3ConnectRequested:
            return "B3ConnectRequested";
        case CallState::B3ConnectConfirmed:
            return "B3ConnectConfirmed";
        case CallState::Connected:
            return "Connected";
        case CallState::DisconnectRequested:
            return "DisconnectRequested";
    }
    return "?";
}

}  // namespace isdn
