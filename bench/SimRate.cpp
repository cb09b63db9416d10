// Measures the simulator's B-channel rate in both directions through the real
// libcapi20 and prints it next to the configured rate.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/sim/CapiTestClient.h"

using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// Sends blocks of 2048 bytes keeping the window of 7 full; a block's
// confirmation means the one 7 places earlier has left the line.
double Upload(simtest::CCapiTestClient& client, simtest::CTestCall& call, int blocks) {
    const std::vector<uint8_t> frame(2048, 0x00);
    const auto start = Clock::now();
    int confirmed = 0;
    int sent = 0;
    for (; sent < 7 && sent < blocks; ++sent) {
        sim::CCapiMessage req(capi::Command::DataB3, capi::Subcommand::Req, 0, client.NextNumber());
        req.AddDword(call.ncci).AddDword(0).AddWord(2048).AddWord(static_cast<uint16_t>(sent));
        req.AddWord(0).AddDword(0).AddDword(0);
        client.Put(req, frame);
    }
    while (confirmed < blocks) {
        if (!client.WaitFor(capi::Command::DataB3, capi::Subcommand::Conf,
                            std::chrono::seconds(60)))
            return 0;
        ++confirmed;
        if (sent < blocks) {
            sim::CCapiMessage req(capi::Command::DataB3, capi::Subcommand::Req, 0,
                                  client.NextNumber());
            req.AddDword(call.ncci).AddDword(0).AddWord(2048).AddWord(static_cast<uint16_t>(sent));
            req.AddWord(0).AddDword(0).AddDword(0);
            client.Put(req, frame);
            ++sent;
        }
    }
    const double bits = static_cast<double>(blocks - 7) * 2048 * 8;
    return bits / Seconds(Clock::now() - start);
}

double Download(simtest::CTestCall& call, size_t& bytes) {
    const auto start = Clock::now();
    const auto page = call.Fetch("GET /anrufliste HTTP/1.1\r\n\r\n");
    if (!page) return 0;
    bytes = page->size();
    return static_cast<double>(bytes) * 8 / Seconds(Clock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string rate = argc > 1 ? argv[1] : "64000";
    const int blocks = argc > 2 ? std::atoi(argv[2]) : 40;
    if (!simtest::CCapiTestClient::LibraryPresent()) {
        std::fprintf(stderr, "libcapi20.so.3 not found\n");
        return 1;
    }
    simtest::CSimProcess sim({"--port", "0", "--dial-delay", "0", "--rate", rate});
    simtest::CCapiTestClient client(sim.Port());
    simtest::CTestCall call(client);
    if (!sim.Port() || !client.Register() || !call.Dial("0301234")) {
        std::fprintf(stderr, "could not set up a call to the simulator\n");
        return 1;
    }
    size_t bytes = 0;
    const double down = Download(call, bytes);
    const double up = Upload(client, call, blocks);
    std::printf(
        "configured %-10s  PBX->program %10.0f bit/s (%zu bytes)  program->PBX %10.0f bit/s (%d "
        "blocks)\n",
        rate.c_str(), down, bytes, up, blocks);
    call.Hangup();
    return down > 0 && up > 0 ? 0 : 1;
}
