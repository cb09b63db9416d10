// Whole calls through the installed libcapi20 to the PBX simulator.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "isdn/CapiControl.h"
#include "isdn/RelayFrame.h"
#include "platform/Window.h"
#include "tests/isdn/RecordingOwner.h"
#include "tests/support/EventLoop.h"

namespace {

using isdn::CallState;
using isdntest::RecordingOwner;
using isdntest::Status;

constexpr int kBoundMs = 30000;
constexpr const char* kPbxNumber = "0301234";
constexpr const char* kBusyNumber = "0301111";

std::string SimulatorPath() {
    if (const char* path = std::getenv("QUORBEL_PBXSIM"); path != nullptr && *path != '\0') {
        return path;
    }
    return QUORBEL_PBXSIM_PATH;
}

bool CapiLibraryPresent() {
    void* library = dlopen("libcapi20.so.3", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) return false;
    dlclose(library);
    return true;
}

// The PBX simulator on a port of the system's choice.
class Simulator {
public:
    bool Start(const QStringList& options) {
        QStringList args{"--port", "0", "--dial-delay", "0", "--rate", "unlimited"};
        args += options;
        m_process.start(QString::fromStdString(SimulatorPath()), args);
        if (!m_process.waitForStarted(kBoundMs)) return false;
        QElapsedTimer timer;
        timer.start();
        while (!m_process.canReadLine()) {
            if (timer.elapsed() > kBoundMs || !m_process.waitForReadyRead(1000)) {
                if (m_process.state() != QProcess::Running) return false;
            }
            if (timer.elapsed() > kBoundMs) return false;
        }
        m_nPort = QString::fromLocal8Bit(m_process.readLine()).trimmed().toInt();
        return m_nPort > 0;
    }
    ~Simulator() {
        m_process.terminate();
        if (!m_process.waitForFinished(kBoundMs)) m_process.kill();
        m_process.waitForFinished(kBoundMs);
    }
    int Port() const { return m_nPort; }

private:
    QProcess m_process;
    int m_nPort = 0;
};

// The main window as the control sees it: collects the PBX's answers.
class AnswerWindow : public platform::CWnd {
public:
    ~AnswerWindow() override { ClosePort(); }

    std::string answer;  // payload since the last close frame
    std::vector<std::string> exchanges;

protected:
    intptr_t OnCopyData(const platform::COPYDATASTRUCT& record) override {
        const auto* frame = static_cast<const uint8_t*>(record.lpData);
        if (record.cbData == 0) return 0;
        if (frame[0] == isdn::RELAY_DATA) {
            answer.append(reinterpret_cast<const char*>(frame + 1), record.cbData - 1);
        } else if (frame[0] == isdn::RELAY_CONTROL) {
            exchanges.push_back(std::move(answer));
            answer.clear();
        }
        return 1;
    }
    void OnMessage(unsigned) override {}
};

isdn::Block Frame(uint8_t type, const std::string& payload) {
    const size_t length = payload.size() + 1;
    isdn::Block block(new uint8_t[length]);
    uint8_t* bytes = block.get();
    bytes[0] = type;
    std::memcpy(bytes + 1, payload.data(), payload.size());
    return block;
}

// The browser's side of one exchange, framed as the bridge frames it.
void SendRequest(isdn::CCapiControl& control, const std::string& request) {
    control.SendData(1, Frame(isdn::RELAY_CONTROL, ""));
    constexpr size_t kRead = isdn::kMaxFrameLength - 1;
    for (size_t pos = 0; pos < request.size(); pos += kRead) {
        const std::string chunk = request.substr(pos, kRead);
        control.SendData(static_cast<int32_t>(chunk.size() + 1), Frame(isdn::RELAY_DATA, chunk));
    }
}

// Splits an HTTP answer; false when its body does not have the announced length.
bool WholeAnswer(const std::string& answer, std::string& body) {
    const size_t end = answer.find("\r\n\r\n");
    if (end == std::string::npos) return false;
    const std::string head = answer.substr(0, end);
    body = answer.substr(end + 4);
    const size_t field = head.find("Content-Length: ");
    if (field == std::string::npos) return false;
    return std::stoul(head.substr(field + 16)) == body.size();
}

size_t CountEntries(const char* folder) {
    std::error_code error;
    size_t count = 0;
    for (auto it = std::filesystem::directory_iterator(folder, error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        ++count;
    }
    return count;
}

long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return -1;
}

class CallIntegration : public testing::Test {
protected:
    void SetUp() override {
        if (!CapiLibraryPresent()) GTEST_SKIP() << "libcapi20.so.3 is not installed";
        if (!std::filesystem::exists(SimulatorPath())) {
            GTEST_SKIP() << "PBX simulator not built: " << SimulatorPath();
        }
    }

    void StartSimulator(const QStringList& options = {}) {
        ASSERT_TRUE(simulator.Start(options)) << "simulator did not start";
        const std::string setting = "rcapi:127.0.0.1:" + std::to_string(simulator.Port());
        setenv("QUORBEL_CAPI", setting.c_str(), 1);
        owner.window = &window;
        control = std::make_unique<isdn::CCapiControl>(owner);
    }

    void TearDown() override {
        control.reset();
        unsetenv("QUORBEL_CAPI");
    }

    bool Until(const std::function<bool()>& condition) {
        return testsupport::RunUntil(condition, kBoundMs);
    }

    // Runs the sends on a thread of their own, as the bridge's sender does,
    // while this thread runs the window's event loop.
    bool Exchange(const std::string& request) {
        const size_t before = window.exchanges.size();
        std::thread sender([&] { SendRequest(*control, request); });
        const bool answered = Until([&] { return window.exchanges.size() > before; });
        sender.join();
        return answered;
    }

    void PlaceCall() {
        ASSERT_EQ(control->StartCapi(), 0) << std::hex << control->m_dwLastResult.load();
        ASSERT_TRUE(control->Connect(kPbxNumber, ""));
        ASSERT_TRUE(Until([&] { return control->GetCallState() == CallState::Connected; }));
    }

    void ClearCall() {
        const size_t before = owner.Statuses().size();
        control->Hangup();
        ASSERT_TRUE(Until([&] {
            const auto s = owner.Statuses();
            return s.size() > before && s.back().code == isdn::STATUS_READY;
        }));
        ASSERT_TRUE(Until([&] { return control->GetCallState() == CallState::Idle; }));
    }

    Simulator simulator;
    AnswerWindow window;
    RecordingOwner owner;
    std::unique_ptr<isdn::CCapiControl> control;
};

TEST_F(CallIntegration, WholeCallCarriesLargeExchangesBothWays) {
    StartSimulator();
    PlaceCall();
    ASSERT_TRUE(Until([&] { return owner.Statuses().size() >= 3; }));

    // Towards the PBX: long request lines that its error page quotes back.
    size_t sent = 0;
    for (int i = 0; sent < 100 * 1024; ++i) {
        std::string path = "/x" + std::to_string(i) + "_";
        for (size_t k = 0; path.size() < 12000; ++k) {
            path += static_cast<char>('a' + (k * 7 + static_cast<size_t>(i)) % 26);
        }
        const std::string request = "GET " + path + " HTTP/1.1\r\nHost: pbx\r\n\r\n";
        sent += request.size();
        ASSERT_TRUE(Exchange(request)) << "no answer to request " << i;
        std::string body;
        ASSERT_TRUE(WholeAnswer(window.exchanges.back(), body)) << "request " << i;
        EXPECT_NE(body.find(path), std::string::npos) << "request " << i << " arrived damaged";
    }
    // From the PBX: the call log page, well over 100 KB.
    ASSERT_TRUE(Exchange("GET /anrufliste HTTP/1.1\r\nHost: pbx\r\n\r\n"));
    std::string body;
    ASSERT_TRUE(WholeAnswer(window.exchanges.back(), body));
    EXPECT_GE(body.size(), 100u * 1024);
    EXPECT_NE(body.find("</html>"), std::string::npos);
    EXPECT_EQ(control->PendingCount(), 0u);

    ClearCall();
    EXPECT_EQ(owner.Statuses(), (std::vector<Status>{{2, 0}, {5, 0}, {3, 0}, {6, 0}, {1, 0x3490}}));
}

TEST_F(CallIntegration, BusyNumberEndsTheCallWithItsCause) {
    StartSimulator();
    ASSERT_EQ(control->StartCapi(), 0);
    ASSERT_TRUE(control->Connect(kBusyNumber, ""));
    ASSERT_TRUE(Until([&] { return owner.Has({1, 0x3491}); }));
    EXPECT_EQ(owner.Statuses(), (std::vector<Status>{{2, 0}, {1, 0x3491}}));
    EXPECT_TRUE(Until([&] { return control->GetCallState() == CallState::Idle; }));
}

TEST_F(CallIntegration, DroppedCapiConnectionEndsTheCall) {
    StartSimulator({"--drop-at", "data"});
    PlaceCall();
    QElapsedTimer timer;
    timer.start();
    std::thread sender([&] { SendRequest(*control, "GET / HTTP/1.1\r\nHost: pbx\r\n\r\n"); });
    const bool ended = Until([&] {
        return owner.Has({1, isdn::CCapiControl::kReasonConnectionLost});
    });
    const qint64 elapsed = timer.elapsed();
    sender.join();
    ASSERT_TRUE(ended);
    EXPECT_EQ(control->GetCallState(), CallState::Idle);
    std::printf("call ended %lld ms after the connection was dropped\n",
                static_cast<long long>(elapsed));
    // The next call registers anew.
    owner.Clear();
    EXPECT_EQ(control->StartCapi(), 0);
}

TEST_F(CallIntegration, ManyCallsLeaveNoThreadsDescriptorsOrMemoryBehind) {
    StartSimulator();
    constexpr int kCalls = 50;
    // One call first, so that the library's one-time set-up is not counted.
    PlaceCall();
    ClearCall();
    const size_t threadsBefore = CountEntries("/proc/self/task");
    const size_t fdsBefore = CountEntries("/proc/self/fd");
    const long rssBefore = ResidentKb();
    for (int i = 0; i < kCalls; ++i) {
        SCOPED_TRACE(i);
        PlaceCall();
        ClearCall();
        ASSERT_FALSE(HasFatalFailure());
    }
    const size_t threadsAfter = CountEntries("/proc/self/task");
    const size_t fdsAfter = CountEntries("/proc/self/fd");
    const long rssAfter = ResidentKb();
    std::printf("%d calls: threads %zu -> %zu, descriptors %zu -> %zu, VmRSS %ld -> %ld kB\n",
                kCalls, threadsBefore, threadsAfter, fdsBefore, fdsAfter, rssBefore, rssAfter);
    EXPECT_LE(threadsAfter, threadsBefore + 2);
    EXPECT_LE(fdsAfter, fdsBefore + 4);
}

}  // namespace
