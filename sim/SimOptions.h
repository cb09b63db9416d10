#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

// Points of a call at which a fault can be injected.
enum class CallStep { None, ConnectConf, Active, B3Conf, B3Active, Data };

// How a deliberately malformed message is broken.
enum class MalformKind { UnknownCommand, Truncated, BadStruct };

// A called number with the cause the network answers it with.
struct NumberOutcome {
    std::string number;
    uint16_t reason = 0;
};

// Everything the simulator can be told on its command line.
class CSimOptions {
public:
    uint16_t port = 2662;
    std::string pbxNumber = "0301234";
    std::string connectedNumber;  // empty: the PBX's number
    uint32_t dialDelayMs = 800;
    uint32_t lineRate = 64000;  // bit/s; 0 is unlimited
    std::vector<NumberOutcome> outcomes;
    uint32_t idleClearMs = 0;  // 0: the far end never clears on its own
    uint32_t dataConfDelayMs = 0;
    bool withholdDataConf = false;
    uint16_t connectConfInfo = 0;
    uint16_t connectB3ConfInfo = 0;
    CallStep disconnectAt = CallStep::None;
    uint16_t disconnectReason = 0x3490;
    CallStep dropAt = CallStep::None;
    CallStep malformedAt = CallStep::None;
    MalformKind malformKind = MalformKind::UnknownCommand;
    uint32_t faultBlock = 1;  // which received data block is the Data step
    bool verbose = false;
    bool help = false;

    CSimOptions();

    // Parses the arguments after the program name; nullopt with a message on error.
    static std::optional<CSimOptions> Parse(const std::vector<std::string>& args,
                                            std::string& error);
    static std::string HelpText();

    // The cause for a called number other than the PBX's: unknown numbers
    // get 0x3483, badly formed ones 0x349C.
    uint16_t ReasonFor(const std::string& number) const;
    std::string ConnectedNumber() const;
};

}  // namespace sim
