// Throughput of the relay in both directions and the time to load the PBX's
// start page in a browser engine, through the real bridge, connection control
// and libcapi20 against the PBX simulator. Prints figures; judges nothing.
#include <arpa/inet.h>
#include <dirent.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "bench/HttpTimer.h"
#include "gateway/CapiBridgeParts.h"
#include "tests/support/EventLoop.h"
#include "tests/support/HeadlessRelay.h"
#include "tests/support/SimProcess.h"
#ifdef QUORBEL_BENCH_BROWSER
#include "bench/PageLoad.h"
#include "bench/ReplayServer.h"
#endif

namespace {

using testsupport::CHeadlessRelay;
using testsupport::CSimProcess;

constexpr double LINE_BYTES_PER_SECOND = 8000.0;  // 64000 bit/s
constexpr const char* PBX_NUMBER = "0301234";

struct Options {
    size_t body = 256 * 1024;
    size_t large = 8 * 1024 * 1024;
    int loads = 2;
    bool browser = true;
    bool noDelay = false;
    bool limited = true;
};

// The figures the goals speak of; negative where not measured.
struct Figures {
    double downLinePercent = -1;
    double upLinePercent = -1;
    double downMBs = -1;  // the large body, unlimited line
    double upMBs = -1;
    double pageRatio = -1;  // the best load
};

// A simulator at one line rate with a call standing through the relay.
struct Call {
    std::unique_ptr<CSimProcess> sim;
    std::unique_ptr<CHeadlessRelay> relay;
    bool up = false;
};

void StartCall(Call& call, const std::string& rate) {
    call.sim = std::make_unique<CSimProcess>(
        std::vector<std::string>{"--port", "0", "--dial-delay", "0", "--rate", rate});
    if (call.sim->Port() == 0) return;
    const std::string server = "rcapi:127.0.0.1:" + std::to_string(call.sim->Port());
    setenv("QUORBEL_CAPI", server.c_str(), 1);
    gateway::BridgeParts parts = gateway::CapiBridgeParts();
    parts.templatePaths = {QUORBEL_SHIPPED_TEMPLATE};
    call.relay = std::make_unique<CHeadlessRelay>(std::move(parts));
    call.up = call.relay->Bridge().StartCall(PBX_NUMBER, "") &&
              testsupport::RunUntil([&] { return call.relay->RelayActive(); }, 30000);
}

// An experiment, not the program's behaviour: turns Nagle's algorithm off on
// this process's TCP connections to the simulator (the CAPI library's), to
// show what small CAPI messages lose waiting for the far end's delayed ACK.
int SetNoDelayTowards(uint16_t serverPort) {
    int changed = 0;
    DIR* fds = opendir("/proc/self/fd");
    if (!fds) return 0;
    while (const dirent* entry = readdir(fds)) {
        const int fd = std::atoi(entry->d_name);
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        if (fd <= 2 || getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) != 0 ||
            peer.sin_family != AF_INET || ntohs(peer.sin_port) != serverPort)
            continue;
        const int on = 1;
        if (setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0) ++changed;
    }
    closedir(fds);
    return changed;
}

void EndCall(Call& call) {
    if (call.relay && call.up) {
        call.relay->Bridge().EndCall();
        testsupport::RunUntil([&] { return call.relay->Status() == 1; }, 10000);
    }
    call.relay.reset();
    call.sim.reset();
    unsetenv("QUORBEL_CAPI");
}

// Runs the blocking exchange on a thread of its own while this thread runs
// the event loop that serves the relay; the loop sleeps between events, so it
// takes no processor time from the relay's own threads.
bench::Transfer Serve(unsigned port, const std::string& request, bool keepBody = false) {
    QEventLoop loop;
    auto transfer = std::async(std::launch::async, [&] {
        bench::Transfer t = bench::TimedExchange(port, request, keepBody);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        return t;
    });
    loop.exec();
    return transfer.get();
}

std::string Get(const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
}

std::string Post(const std::string& path, size_t bytes) {
    return "POST " + path +
           " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n"
           "Content-Type: application/octet-stream\r\nContent-Length: " +
           std::to_string(bytes) + "\r\n\r\n" + std::string(bytes, 'x');
}

std::string SizeText(size_t bytes) {
    if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0)
        return std::to_string(bytes / (1024 * 1024)) + " MB";
    if (bytes >= 1024 && bytes % 1024 == 0) return std::to_string(bytes / 1024) + " KB";
    return std::to_string(bytes) + " B";
}

void PrintHeader() {
    std::printf("%-24s %-10s %10s %9s %14s %8s %14s %8s\n", "transfer", "line", "bytes", "seconds",
                "rate", "of line", "payload rate", "of line");
}

// One row: the line bytes of the direction (headers included) and the payload.
// Returns the rate in bytes per second, negative when the transfer failed.
double PrintRow(const std::string& what, bool limited, size_t lineBytes, size_t payload,
                const bench::Transfer& t, bool complete) {
    if (!complete || t.seconds <= 0) {
        std::printf("%-24s %-10s %10s  failed (answer incomplete: %zu of %zu body bytes)\n",
                    what.c_str(), limited ? "64 kbit/s" : "unlimited", "-", t.bodyBytes,
                    t.contentLength);
        return -1;
    }
    const double rate = static_cast<double>(lineBytes) / t.seconds;
    const double payloadRate = static_cast<double>(payload) / t.seconds;
    if (limited) {
        std::printf("%-24s %-10s %10zu %9.3f %10.0f B/s %7.2f%% %10.0f B/s %7.2f%%\n", what.c_str(),
                    "64 kbit/s", lineBytes, t.seconds, rate, 100 * rate / LINE_BYTES_PER_SECOND,
                    payloadRate, 100 * payloadRate / LINE_BYTES_PER_SECOND);
    } else {
        std::printf("%-24s %-10s %10zu %9.3f %9.2f MB/s %8s %9.2f MB/s %8s\n", what.c_str(),
                    "unlimited", lineBytes, t.seconds, rate / 1e6, "-", payloadRate / 1e6, "-");
    }
    return rate;
}

double MeasureDownload(unsigned port, size_t bytes, bool limited) {
    const auto t = Serve(port, Get("/daten?groesse=" + std::to_string(bytes)));
    return PrintRow("PBX -> browser " + SizeText(bytes), limited, t.ReceivedBytes(), t.bodyBytes, t,
                    t.Complete() && t.bodyBytes == bytes);
}

double MeasureUpload(unsigned port, size_t bytes, bool limited) {
    const std::string request = Post("/empfang", bytes);
    const auto t = Serve(port, request, true);
    const bool taken = t.Complete() && std::strtoul(t.body.c_str(), nullptr, 10) == bytes;
    return PrintRow("browser -> PBX " + SizeText(bytes), limited, request.size(), bytes, t, taken);
}

// The fixed cost of one exchange: request up, empty answer down, close.
void MeasureEmptyExchange(unsigned port, bool limited) {
    const auto t = Serve(port, Get("/daten?groesse=0"));
    if (!t.Complete()) return;
    std::printf("%-24s %-10s %10zu %9.3f   (request %zu B up, answer %zu B down)\n",
                "one empty exchange", limited ? "64 kbit/s" : "unlimited",
                t.sentBytes + t.ReceivedBytes(), t.seconds, t.sentBytes, t.ReceivedBytes());
}

#ifdef QUORBEL_BENCH_BROWSER
// The resources a page pulls in: images and stylesheets (not links, and not
// the page icon, which the view does not load).
std::set<std::string> Resources(const std::string& html) {
    std::set<std::string> found;
    auto collect = [&](const std::string& marker, char end) {
        for (size_t pos = html.find(marker); pos != std::string::npos;
             pos = html.find(marker, pos + 1)) {
            const size_t start = pos + marker.size();
            const size_t stop = html.find(end, start);
            if (stop != std::string::npos && html.compare(start, 1, "/") == 0)
                found.insert(html.substr(start, stop - start));
        }
    };
    collect("src=\"", '"');
    collect("<link rel=\"stylesheet\" href=\"", '"');
    collect("url(", ')');
    return found;
}

// The start page and every resource it pulls in, each as the PBX answers it
// (headers included); empty when one of them could not be fetched.
std::map<std::string, std::string> StartPageAnswers(unsigned port) {
    std::map<std::string, std::string> answers;
    std::set<std::string> wanted{"/"};
    while (!wanted.empty()) {
        const std::string path = *wanted.begin();
        wanted.erase(wanted.begin());
        const auto answer = Serve(port, Get(path), true);
        if (!answer.Complete()) return {};
        answers[path] = answer.head + "\r\n\r\n" + answer.body;
        for (const auto& next : Resources(answer.body))
            if (!answers.count(next)) wanted.insert(next);
    }
    return answers;
}

void PrintLoad(const std::string& what, const char* line, size_t answerBytes, size_t requestBytes,
               double seconds) {
    if (seconds < 0) {
        std::printf("%-24s %-10s failed or timed out\n", what.c_str(), line);
        return;
    }
    const double bound = static_cast<double>(answerBytes) / LINE_BYTES_PER_SECOND;
    std::printf("%-24s %-10s %10zu %10zu %9.3f %9.3f %7.3fx\n", what.c_str(), line, answerBytes,
                requestBytes, bound, seconds, seconds / bound);
}

// The same page with no line at all: the engine's own share of a load, and
// the bytes of its requests, which the relay carries one exchange at a time
// before each answer.
double MeasureEngineAlone(bench::CPageLoad& browser,
                          const std::map<std::string, std::string>& answers, size_t answerBytes,
                          size_t& requestBytes) {
    bench::CReplayServer replay(answers);
    const QUrl url(QStringLiteral("http://localhost:%1/").arg(replay.Port()));
    double best = -1;
    size_t requests = 0;
    for (int i = 0; i < 3; ++i) {
        const double seconds = browser.Load(url);
        replay.TakeCounts(requests, requestBytes);
        if (seconds >= 0 && (best < 0 || seconds < best)) best = seconds;
    }
    std::printf("%-24s %-10s %10zu %10zu %9s %9.3f   (%zu requests)\n", "start page, engine alone",
                "none", answerBytes, requestBytes, "-", best, requests);
    return best;
}

double MeasurePageLoad(unsigned port, int loads) {
    const auto answers = StartPageAnswers(port);
    if (answers.empty()) {
        std::printf("start page: could not fetch it and its resources\n");
        return -1;
    }
    std::string names;
    size_t answerBytes = 0;
    for (const auto& [path, answer] : answers) {
        names += " " + path;
        answerBytes += answer.size();
    }
    std::printf("\npage and resources:%s\n", names.c_str());
    std::printf("%-24s %-10s %10s %10s %9s %9s %8s\n", "page load", "line", "answer B", "request B",
                "bound s", "time s", "ratio");
    bench::CPageLoad browser;
    // The first load starts the engine's processes; it is not part of the figure.
    browser.Load(QUrl(QStringLiteral("about:blank")));
    size_t requestBytes = 0;
    MeasureEngineAlone(browser, answers, answerBytes, requestBytes);
    const QUrl url(QStringLiteral("http://localhost:%1/").arg(port));
    double best = -1;
    for (int i = 1; i <= loads; ++i) {
        const double seconds = browser.Load(url);
        PrintLoad("start page, load " + std::to_string(i), "64 kbit/s", answerBytes, requestBytes,
                  seconds);
        if (seconds >= 0 && (best < 0 || seconds < best)) best = seconds;
    }
    std::printf(
        "(bound = answer bytes / %.0f B/s; answers and requests together need %.3f s "
        "on the line)\n",
        LINE_BYTES_PER_SECOND,
        static_cast<double>(answerBytes + requestBytes) / LINE_BYTES_PER_SECOND);
    return best < 0 ? -1 : best / (static_cast<double>(answerBytes) / LINE_BYTES_PER_SECOND);
}
#endif

const char* Verdict(bool measured, bool met) {
    if (!measured) return "not measured";
    return met ? "met" : "NOT met";
}

void PrintGoals(const Figures& f) {
    const bool lineMeasured = f.downLinePercent >= 0 && f.upLinePercent >= 0;
    const bool ceilingMeasured = f.downMBs >= 0 && f.upMBs >= 0;
    std::printf("\ngoals\n");
    std::printf("  >= 99%% of the line rate:    down %6.2f%%  up %6.2f%%   %s\n", f.downLinePercent,
                f.upLinePercent,
                Verdict(lineMeasured, std::min(f.downLinePercent, f.upLinePercent) >= 99));
    std::printf("  >= 50 MB/s unlimited:       down %6.2f    up %6.2f     %s\n", f.downMBs, f.upMBs,
                Verdict(ceilingMeasured, std::min(f.downMBs, f.upMBs) >= 50));
    std::printf("  page load <= 1.05x bound:   best %6.3fx               %s\n", f.pageRatio,
                Verdict(f.pageRatio >= 0, f.pageRatio <= 1.05));
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--no-browser") {
            options.browser = false;
        } else if (arg == "--nodelay") {
            options.noDelay = true;
        } else if (arg == "--unlimited-only") {
            options.limited = false;
        } else if (arg == "--body" && hasValue) {
            options.body = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--large" && hasValue) {
            options.large = std::strtoul(argv[++i], nullptr, 10);
        } else if (arg == "--loads" && hasValue) {
            options.loads = std::atoi(argv[++i]);
        } else {
            return false;
        }
    }
    return options.body > 0 && options.large > 0 && options.loads >= 0;
}

bool LibraryInstalled() {
    void* handle = dlopen("libcapi20.so.3", RTLD_NOW | RTLD_LOCAL);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv, bool browser) {
#ifdef QUORBEL_BENCH_BROWSER
    if (browser) return bench::MakeBrowserApplication(argc, argv);
#else
    (void)browser;
#endif
    return std::make_unique<QCoreApplication>(argc, argv);
}

void ApplyExperiments(const Options& options, const Call& call) {
    if (options.noDelay)
        std::printf("(experiment: TCP_NODELAY set on %d CAPI library connection(s))\n",
                    SetNoDelayTowards(call.sim->Port()));
}

int RunLimited(const Options& options, Figures& figures) {
    Call call;
    StartCall(call, "64000");
    if (!call.up) return 1;
    ApplyExperiments(options, call);
    const unsigned port = call.relay->Port();
    MeasureEmptyExchange(port, true);
    figures.downLinePercent =
        100 * MeasureDownload(port, options.body, true) / LINE_BYTES_PER_SECOND;
    figures.upLinePercent = 100 * MeasureUpload(port, options.body, true) / LINE_BYTES_PER_SECOND;
#ifdef QUORBEL_BENCH_BROWSER
    if (options.browser) figures.pageRatio = MeasurePageLoad(port, options.loads);
#else
    if (options.browser) std::printf("\npage load: built without QtWebEngine\n");
#endif
    EndCall(call);
    return 0;
}

int RunUnlimited(const Options& options, Figures& figures) {
    Call call;
    StartCall(call, "unlimited");
    if (!call.up) return 1;
    ApplyExperiments(options, call);
    const unsigned port = call.relay->Port();
    MeasureEmptyExchange(port, false);
    MeasureDownload(port, options.body, false);
    figures.downMBs = MeasureDownload(port, options.large, false) / 1e6;
    MeasureUpload(port, options.body, false);
    figures.upMBs = MeasureUpload(port, options.large, false) / 1e6;
    EndCall(call);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: relay_bench [--body BYTES] [--large BYTES] [--loads N] "
                     "[--no-browser] [--nodelay] [--unlimited-only]\n");
        return 2;
    }
    if (!LibraryInstalled()) {
        std::fprintf(stderr, "libcapi20.so.3 not found\n");
        return 1;
    }
    // The program's per-user settings of this run live in a folder of their own.
    QTemporaryDir config;
    setenv("XDG_CONFIG_HOME", config.path().toLocal8Bit().constData(), 1);
    const auto application = MakeApplication(argc, argv, options.browser);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    std::printf("line rate 64000 bit/s = %.0f B/s; MB = 10^6 bytes\n\n", LINE_BYTES_PER_SECOND);
    PrintHeader();
    Figures figures;
    if (RunUnlimited(options, figures) != 0 ||
        (options.limited && RunLimited(options, figures) != 0)) {
        std::fprintf(stderr, "could not set up a call to the simulator\n");
        return 1;
    }
    PrintGoals(figures);
    return 0;
}
