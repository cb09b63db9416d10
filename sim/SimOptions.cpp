#include "sim/SimOptions.h"

#include <array>
#include <charconv>
#include <functional>
#include <map>

namespace sim {
namespace {

struct OutcomeOption {
    const char* name;
    const char* defaultNumber;
    uint16_t reason;
    const char* help;
};

// Causes as the public network reports them (0x34xx: Q.850 cause | 0x80).
constexpr std::array<OutcomeOption, 7> OUTCOMES{{
    {"--busy-number", "0301111", 0x3491, "busy (0x3491)"},
    {"--no-answer-number", "0302222", 0x3492, "no answer (0x3492)"},
    {"--rejected-number", "0303333", 0x3495, "call rejected (0x3495)"},
    {"--changed-number", "0304444", 0x3496, "number changed (0x3496)"},
    {"--invalid-number", "0305555", 0x349C, "invalid number format (0x349C)"},
    {"--unsubscribed-number", "0306666", 0x34D8, "service not subscribed (0x34D8)"},
    {"--unknown-number", "0307777", 0x3483, "unknown number (0x3483; also any other number)"},
}};

const std::map<std::string, CallStep>& Steps() {
    static const std::map<std::string, CallStep> steps{
        {"connect-conf", CallStep::ConnectConf},
        {"active", CallStep::Active},
        {"b3-conf", CallStep::B3Conf},
        {"b3-active", CallStep::B3Active},
        {"data", CallStep::Data},
    };
    return steps;
}

bool ParseUnsigned(const std::string& text, uint64_t max, uint64_t& value, int base = 10) {
    std::string digits = text;
    if (base == 16 && digits.size() > 2 && digits[0] == '0' &&
        (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    if (digits.empty()) return false;
    const char* end = digits.data() + digits.size();
    auto [ptr, ec] = std::from_chars(digits.data(), end, value, base);
    return ec == std::errc() && ptr == end && value <= max;
}

bool IsDialString(const std::string& text) {
    if (text.empty() || text.size() > 32) return false;
    for (char c : text)
        if ((c < '0' || c > '9') && c != '*' && c != '#') return false;
    return true;
}

// Milliseconds from seconds with an optional fraction ("2", "0.25").
bool ParseSeconds(const std::string& text, uint32_t& ms) {
    const auto dot = text.find('.');
    uint64_t whole = 0;
    uint64_t frac = 0;
    const std::string wholeText = text.substr(0, dot);
    if (!ParseUnsigned(wholeText.empty() ? "0" : wholeText, 86400, whole)) return false;
    if (dot != std::string::npos) {
        std::string fracText = text.substr(dot + 1);
        if (fracText.empty() || fracText.size() > 3) return false;
        fracText.resize(3, '0');
        if (!ParseUnsigned(fracText, 999, frac)) return false;
    }
    ms = static_cast<uint32_t>(whole * 1000 + frac);
    return true;
}

using Setter = std::function<bool(CSimOptions&, const std::string&)>;

Setter Number(uint32_t CSimOptions::*field, uint64_t max) {
    return [field, max](CSimOptions& o, const std::string& v) {
        uint64_t value = 0;
        if (!ParseUnsigned(v, max, value)) return false;
        o.*field = static_cast<uint32_t>(value);
        return true;
    };
}

Setter Info(uint16_t CSimOptions::*field) {
    return [field](CSimOptions& o, const std::string& v) {
        uint64_t value = 0;
        if (!ParseUnsigned(v, 0xFFFF, value, 16)) return false;
        o.*field = static_cast<uint16_t>(value);
        return true;
    };
}

Setter Step(CallStep CSimOptions::*field) {
    return [field](CSimOptions& o, const std::string& v) {
        const auto it = Steps().find(v);
        if (it == Steps().end()) return false;
        o.*field = it->second;
        return true;
    };
}

const std::map<std::string, Setter>& ValueOptions() {
    static const std::map<std::string, Setter> options = [] {
        std::map<std::string, Setter> m;
        m["--port"] = [](CSimOptions& o, const std::string& v) {
            uint64_t value = 0;
            if (!ParseUnsigned(v, 65535, value)) return false;
            o.port = static_cast<uint16_t>(value);
            return true;
        };
        m["--pbx-number"] = [](CSimOptions& o, const std::string& v) {
            o.pbxNumber = v;
            return IsDialString(v);
        };
        m["--connected-number"] = [](CSimOptions& o, const std::string& v) {
            o.connectedNumber = v;
            return IsDialString(v);
        };
        m["--dial-delay"] = Number(&CSimOptions::dialDelayMs, 600000);
        m["--rate"] = [](CSimOptions& o, const std::string& v) {
            if (v == "unlimited") {
                o.lineRate = 0;
                return true;
            }
            uint64_t value = 0;
            if (!ParseUnsigned(v, 100000000, value) || value < 300) return false;
            o.lineRate = static_cast<uint32_t>(value);
            return true;
        };
        m["--idle-clear"] = [](CSimOptions& o, const std::string& v) {
            return ParseSeconds(v, o.idleClearMs);
        };
        m["--data-conf-delay"] = Number(&CSimOptions::dataConfDelayMs, 600000);
        m["--connect-conf-info"] = Info(&CSimOptions::connectConfInfo);
        m["--connect-b3-conf-info"] = Info(&CSimOptions::connectB3ConfInfo);
        m["--disconnect-at"] = Step(&CSimOptions::disconnectAt);
        m["--disconnect-reason"] = Info(&CSimOptions::disconnectReason);
        m["--drop-at"] = Step(&CSimOptions::dropAt);
        m["--malformed-at"] = Step(&CSimOptions::malformedAt);
        m["--malformed-kind"] = [](CSimOptions& o, const std::string& v) {
            static const std::map<std::string, MalformKind> kinds{
                {"unknown-command", MalformKind::UnknownCommand},
                {"truncated", MalformKind::Truncated},
                {"bad-struct", MalformKind::BadStruct}};
            const auto it = kinds.find(v);
            if (it == kinds.end()) return false;
            o.malformKind = it->second;
            return true;
        };
        m["--fault-block"] = [](CSimOptions& o, const std::string& v) {
            uint64_t value = 0;
            if (!ParseUnsigned(v, 1000000, value) || value == 0) return false;
            o.faultBlock = static_cast<uint32_t>(value);
            return true;
        };
        for (size_t i = 0; i < OUTCOMES.size(); ++i) {
            m[OUTCOMES[i].name] = [i](CSimOptions& o, const std::string& v) {
                o.outcomes[i].number = v;
                return IsDialString(v);
            };
        }
        return m;
    }();
    return options;
}

}  // namespace

CSimOptions::CSimOptions() {
    for (const auto& outcome : OUTCOMES)
        outcomes.push_back({outcome.defaultNumber, outcome.reason});
}

std::optional<CSimOptions> CSimOptions::Parse(const std::vector<std::string>& args,
                                              std::string& error) {
    CSimOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
        }
        if (name == "--help" || name == "-h") {
            options.help = true;
            continue;
        }
        if (name == "--withhold-data-conf" || name == "--verbose") {
            if (value) {
                error = "option " + name + " takes no value";
                return std::nullopt;
            }
            (name == "--verbose" ? options.verbose : options.withholdDataConf) = true;
            continue;
        }
        const auto it = ValueOptions().find(name);
        if (it == ValueOptions().end()) {
            error = "unknown option: " + name;
            return std::nullopt;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                error = "option " + name + " needs a value";
                return std::nullopt;
            }
            value = args[++i];
        }
        if (!it->second(options, *value)) {
            error = "bad value for " + name + ": \"" + *value + "\"";
            return std::nullopt;
        }
    }
    return options;
}

uint16_t CSimOptions::ReasonFor(const std::string& number) const {
    for (const auto& outcome : outcomes)
        if (outcome.number == number) return outcome.reason;
    return IsDialString(number) ? 0x3483 : 0x349C;
}

std::string CSimOptions::ConnectedNumber() const {
    return connectedNumber.empty() ? pbxNumber : connectedNumber;
}

std::string CSimOptions::HelpText() {
    std::string text =
        "Usage: quorbel-pbxsim [--port N] [options]\n"
        "Simulates a PBX reached over ISDN through a remote CAPI server (rcapi protocol).\n"
        "Listens on 127.0.0.1 and prints the port as the first line on stdout.\n\n"
        "  --port N                  TCP port (default 2662; 0 lets the system choose)\n"
        "  --pbx-number NUM          number at which the PBX answers (default 0301234)\n"
        "  --connected-number NUM    connected number reported on answer (default: PBX number)\n"
        "  --dial-delay MS           time from CONNECT_REQ to the answer (default 800)\n"
        "  --rate BITS|unlimited     B-channel line rate in bit/s (default 64000)\n"
        "  --idle-clear SECONDS      far end clears the call after this idle time (default off)\n";
    for (const auto& outcome : OUTCOMES) {
        std::string line = std::string("  ") + outcome.name + " NUM";
        line.resize(28, ' ');
        text += line + outcome.help + ", default " + outcome.defaultNumber + "\n";
    }
    text +=
        "  Any other called number is unknown (0x3483); one that is not a digit string\n"
        "  is of invalid format (0x349C).\n\n"
        "Fault injection (STEP: connect-conf, active, b3-conf, b3-active, data):\n"
        "  --connect-conf-info HEX   answer CONNECT_REQ with this Info (negative CONNECT_CONF)\n"
        "  --connect-b3-conf-info HEX  answer CONNECT_B3_REQ with this Info\n"
        "  --data-conf-delay MS      delay every DATA_B3_CONF\n"
        "  --withhold-data-conf      never send DATA_B3_CONF\n"
        "  --disconnect-at STEP      the network clears the call right after STEP\n"
        "  --disconnect-reason HEX   reason of that DISCONNECT_IND (default 0x3490)\n"
        "  --drop-at STEP            close the application's TCP connection after STEP\n"
        "  --malformed-at STEP       send a malformed message right before STEP's message\n"
        "  --malformed-kind KIND     unknown-command (default), truncated, bad-struct\n"
        "  --fault-block N           the data step is the N-th received data block (default 1)\n\n"
        "  --verbose                 log every CAPI message on stderr\n"
        "  --help                    show this text\n";
    return text;
}

}  // namespace sim
