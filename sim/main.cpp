#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "sim/RcapiServer.h"
#include "sim/SimOptions.h"

namespace {

int g_stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto n = write(g_stopPipe[1], &byte, 1);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    const auto options = sim::CSimOptions::Parse(args, error);
    if (!options) {
        std::fprintf(stderr, "quorbel-pbxsim: %s\nTry --help.\n", error.c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(sim::CSimOptions::HelpText().c_str(), stdout);
        return 0;
    }
    if (pipe2(g_stopPipe, O_CLOEXEC) != 0) {
        std::perror("quorbel-pbxsim: pipe");
        return 1;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    sim::CRcapiServer server(*options);
    const uint16_t port = server.Listen();
    if (port == 0) {
        std::fprintf(stderr, "quorbel-pbxsim: cannot listen on 127.0.0.1:%u: %s\n",
                     static_cast<unsigned>(options->port), std::strerror(errno));
        return 1;
    }
    std::printf("%u\n", static_cast<unsigned>(port));
    std::fflush(stdout);
    server.Run(g_stopPipe[0]);
    return 0;
}
