// The program as a technician uses it: the real application object with its
// window and browser view, libcapi20 and the PBX simulator. The call is dialled
// from the command line at start-up; the tests then run in order on it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QWebEnginePage>
#include <cstdlib>
#include <memory>

#include "app/DefaultParts.h"
#include "app/MainFrame.h"
#include "app/QuorbelApp.h"
#include "app/QuorbelView.h"
#include "tests/support/EventLoop.h"
#include "tests/support/IsolatedUser.h"
#include "tests/support/SimProcess.h"

namespace {

using testsupport::RunUntil;

constexpr const char* kPbxNumber = "0301234";
constexpr const char* kStartTitle = "Übersicht – TK 2408";

app::CQuorbelApp& App() {
    return *app::CQuorbelApp::Instance();
}
app::CQuorbelView& View() {
    return *App().MainFrame()->View();
}

// Runs a script in the page shown and waits for its result.
QVariant RunScript(const QString& script) {
    QVariant result;
    bool done = false;
    View().page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    RunUntil([&] { return done; }, 20000);
    return result;
}

QString PageText() {
    return RunScript("document.body ? document.body.innerText : ''").toString();
}

bool WaitForTitle(const QString& title, int boundMs = 60000) {
    return RunUntil([&] { return View().title() == title && !View().page()->isLoading(); },
                    boundMs);
}

bool WaitForText(const QString& text, int boundMs = 60000) {
    QElapsedTimer polled;
    polled.start();
    return RunUntil(
        [&] {
            // Ask the engine no more than ten times a second.
            if (polled.elapsed() < 100) return false;
            polled.restart();
            return PageText().contains(text);
        },
        boundMs);
}

void Screenshot(const char* name) {
    QDir().mkpath(QUORBEL_SCREENSHOT_DIR);
    App().MainFrame()->grab().save(QString(QUORBEL_SCREENSHOT_DIR) + "/" + name);
}

int Status() {
    return App().Bridge()->m_nStatus;
}

// Runs a script that leads to a navigation and waits until that has loaded.
bool Navigate(const QString& script, int boundMs = 60000) {
    int finished = 0;
    const auto connection = QObject::connect(View().page(), &QWebEnginePage::loadFinished,
                                             [&finished](bool) { ++finished; });
    RunScript(script);
    const bool loaded =
        RunUntil([&] { return finished > 0 && !View().page()->isLoading(); }, boundMs);
    QObject::disconnect(connection);
    return loaded;
}

TEST(Program, DialledFromTheCommandLineShowsThePbxStartPage) {
    // The status page tells that the PBX is being dialled (the page's text
    // folds the two blanks before the number)...
    EXPECT_TRUE(WaitForText(QString("Wähle ... ") + kPbxNumber, 20000));
    // ...then the PBX's own start page arrives through the relay.
    ASSERT_TRUE(WaitForTitle(kStartTitle)) << View().title().toStdString();
    EXPECT_TRUE(WaitForText("ISDN-Telefonanlage TK 2408"));
    EXPECT_EQ(Status(), 3);
    Screenshot("pbx-start-page.png");
}

TEST(Program, AFormValueShowsOnTheNextPage) {
    ASSERT_EQ(Status(), 3);
    ASSERT_TRUE(Navigate("location.href = '/nebenstellen'"));
    ASSERT_EQ(View().title(), QString("Nebenstellen – TK 2408"));
    ASSERT_TRUE(
        Navigate("document.querySelector('input[name=name1]').value = 'Werkstatt Süd';"
                 "document.querySelector('form').submit();"));
    EXPECT_TRUE(PageText().contains("gespeichert")) << PageText().toStdString();
    // Still there when the page is asked for anew.
    ASSERT_TRUE(Navigate("location.href = '/nebenstellen'"));
    EXPECT_EQ(RunScript("document.querySelector('input[name=name1]').value").toString(),
              QString("Werkstatt Süd"));
    Screenshot("pbx-form-page.png");
}

TEST(Program, TheLargePageArrivesWhole) {
    ASSERT_EQ(Status(), 3);
    ASSERT_TRUE(Navigate("location.href = '/anrufliste'", 120000));
    ASSERT_EQ(View().title(), QString("Anrufliste – TK 2408"));
    EXPECT_GT(RunScript("document.documentElement.outerHTML.length").toInt(), 190000);
    // The page's last element came through, so nothing was cut off.
    EXPECT_TRUE(RunScript("!!document.querySelector('footer')").toBool());
}

TEST(Program, ThePagesBeendenScriptEndsTheCallAndTheWindowStays) {
    ASSERT_EQ(Status(), 3);
    RunScript("document.querySelector('a.beenden').click()");
    EXPECT_TRUE(WaitForText("Aufgelegt"));
    EXPECT_EQ(Status(), 1);
    EXPECT_EQ(App().Bridge()->m_wReason, 0x3490);
    EXPECT_TRUE(App().MainFrame()->isVisible());
    Screenshot("status-page-after-call.png");
}

TEST(Program, NumbersThatFailShowTheirReasonOnTheStatusPage) {
    struct Case {
        const char* number;
        const char* reason;
    };
    for (const Case& c : {Case{"0307777", "ETSI x83: Teilnehmer nicht bekannt!"},
                          Case{"0301111", "ETSI x91: Teilnehmer besetzt"}}) {
        ASSERT_TRUE(App().Bridge()->StartCall(c.number, ""));
        EXPECT_TRUE(WaitForText(c.reason)) << c.number;
        EXPECT_EQ(Status(), 1);
    }
    Screenshot("status-page-busy.png");
}

TEST(Program, TheNextCallAfterwardsWorks) {
    ASSERT_TRUE(App().Bridge()->StartCall(kPbxNumber, ""));
    ASSERT_TRUE(WaitForTitle(kStartTitle));
    App().Bridge()->EndCall();
    EXPECT_TRUE(WaitForText("Aufgelegt"));
}

bool LibraryInstalled() {
    void* handle = dlopen("libcapi20.so.3", RTLD_NOW | RTLD_LOCAL);
    if (handle) dlclose(handle);
    return handle != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    const std::unique_ptr<QTemporaryDir> home = testsupport::IsolateUser();
    testing::InitGoogleTest(&argc, argv);

    // Listing the tests needs neither the simulator nor a window.
    const bool listing = testing::GTEST_FLAG(list_tests);
    std::unique_ptr<testsupport::CSimProcess> sim;
    if (!listing && LibraryInstalled()) {
        // The dial delay is long enough for the engine to show the dialling
        // page first, even on a loaded machine.
        sim = std::make_unique<testsupport::CSimProcess>(
            std::vector<std::string>{"--port", "0", "--dial-delay", "5000", "--rate", "512000"});
        const std::string server = "rcapi:127.0.0.1:" + std::to_string(sim->Port());
        setenv("QUORBEL_CAPI", server.c_str(), 1);
    }
    int appArgc = 3;
    char program[] = "quorbel";
    char dial[] = "-d";
    std::string number = kPbxNumber;
    char* appArgv[] = {program, dial, number.data(), nullptr};
    gateway::BridgeParts parts = app::DefaultBridgeParts();
    parts.templatePaths = {QUORBEL_SHIPPED_TEMPLATE};
    app::CQuorbelApp application(appArgc, appArgv, std::move(parts));
    if (!listing) {
        if (!sim || sim->Port() == 0) {
            std::puts("[  SKIPPED ] libcapi20.so.3 or the PBX simulator is missing");
            return 0;
        }
        if (!application.InitInstance()) return 1;
    }
    return RUN_ALL_TESTS();
}
