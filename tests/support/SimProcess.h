#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// The simulator as a child process; its first line on stdout is its port.
class CSimProcess {
public:
    explicit CSimProcess(const std::vector<std::string>& args);
    ~CSimProcess();
    uint16_t Port() const { return m_port; }
    // Sends SIGTERM and returns the exit status (-1 if it did not end in time).
    int Stop();

private:
    pid_t m_pid = -1;
    uint16_t m_port = 0;
};

}  // namespace testsupport
