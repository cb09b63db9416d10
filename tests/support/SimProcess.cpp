#include "tests/support/SimProcess.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

namespace testsupport {

CSimProcess::CSimProcess(const std::vector<std::string>& args) {
    int out[2];
    if (pipe(out) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv;
        std::string program = QUORBEL_PBXSIM_PATH;
        argv.push_back(program.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(out[1]);
    std::string line;
    pollfd fd{out[0], POLLIN, 0};
    char c = 0;
    while (line.find('\n') == std::string::npos && poll(&fd, 1, 20000) > 0 &&
           read(out[0], &c, 1) == 1)
        line += c;
    close(out[0]);
    m_port = static_cast<uint16_t>(std::strtoul(line.c_str(), nullptr, 10));
}

CSimProcess::~CSimProcess() {
    Stop();
}

int CSimProcess::Stop() {
    if (m_pid <= 0) return -1;
    kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 3000; ++i) {
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(m_pid, SIGKILL);
    waitpid(m_pid, &status, 0);
    m_pid = -1;
    return -1;
}

}  // namespace testsupport
