#include <gtest/gtest.h>

#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEngineCookieStore>
#include <QWebEngineHistory>
#include <QWebEngineProfile>

#include "app/LocalOnlyPage.h"
#include "app/QuorbelView.h"
#include "isdn/CallOwner.h"
#include "tests/app/LoopbackHttpServer.h"
#include "tests/app/ShellFixture.h"

namespace {

using apptest::LoopbackHttpServer;
using apptest::ShellFixture;
using testsupport::RunUntil;

std::string TableUrl(unsigned port, const std::string& path) {
    return "http:\\\\localhost:" + std::to_string(port) + path;
}

struct AddressCase {
    const char* url;
    bool own;
};

// The view may go only to the program's own listener, here on port 4711.
const AddressCase kAddressCases[] = {
    {"http://localhost:4711/", true},
    {"http://localhost:4711", true},
    {"http://127.0.0.1:4711/HttpStatus.html", true},
    {"http://LOCALHOST:4711/a?b=c", true},
    {"http://localhost:4712/", false},
    {"http://localhost/", false},
    {"https://localhost:4711/", false},
    {"ftp://localhost:4711/", false},
    {"http://192.0.2.1:4711/", false},
    {"http://localhost.example:4711/", false},
    {"http://user:pw@localhost:4711/", false},
    {"file:///etc/passwd", false},
    {"about:blank", false},
    {"javascript:alert(1)", false},
    {"data:text/html,<p>x</p>", false},
};

TEST(LocalOnlyPageTest, OnlyTheOwnListenerIsAnAddressOfOurs) {
    for (const AddressCase& c : kAddressCases) {
        EXPECT_EQ(app::CLocalOnlyPage::IsOwnAddress(QUrl(QString::fromLatin1(c.url)), 4711), c.own)
            << c.url;
    }
    EXPECT_FALSE(app::CLocalOnlyPage::IsOwnAddress(QUrl("http://localhost:80/"), 0));
}

struct UrlCase {
    std::string table;
    const char* engine;
};

TEST(QuorbelViewUrlTest, BackslashesAfterTheSchemeBecomeSlashes) {
    const UrlCase cases[] = {
        {"http:\\\\localhost:49731", "http://localhost:49731"},
        {"http:\\\\localhost:49731/HttpStatus.html", "http://localhost:49731/HttpStatus.html"},
        {"http://localhost:49731/a\\b", "http://localhost:49731/a%5Cb"},
    };
    for (const UrlCase& c : cases) {
        EXPECT_EQ(app::CQuorbelView::ToEngineUrl(c.table), QUrl(QString::fromLatin1(c.engine)))
            << c.table;
    }
}

class QuorbelViewTest : public ShellFixture {
protected:
    bool WaitForRequests(const std::string& path, size_t count) {
        return RunUntil([&] { return m_server.RequestsFor(path).size() >= count; });
    }
    bool WaitForLoad(QSignalSpy& finished, int count) {
        return RunUntil([&] { return finished.count() >= count && !View()->IsBusy(); });
    }

    LoopbackHttpServer m_server;
};

// Two status events in a row ask for the same page: the second one reloads
// it from the server instead of navigating, and a third address navigates
// normally. History never grows.
TEST_F(QuorbelViewTest, SamePageTwiceReloadsInsteadOfNavigating) {
    ASSERT_NE(m_server.Port(), 0u);
    QSignalSpy requested(View(), &app::CQuorbelView::PageRequested);
    QSignalSpy finished(View(), &QWebEngineView::loadFinished);
    const std::string status = TableUrl(m_server.Port(), "/HttpStatus.html");

    View()->ShowPage(status);
    ASSERT_TRUE(WaitForLoad(finished, 1));
    View()->ShowPage(status);
    ASSERT_TRUE(WaitForRequests("/HttpStatus.html", 2));
    ASSERT_TRUE(WaitForLoad(finished, 2));
    View()->ShowPage(TableUrl(m_server.Port(), "/other"));
    ASSERT_TRUE(WaitForRequests("/other", 1));

    ASSERT_EQ(requested.count(), 3);
    EXPECT_FALSE(requested.at(0).at(1).toBool());
    EXPECT_TRUE(requested.at(1).at(1).toBool());
    EXPECT_FALSE(requested.at(2).at(1).toBool());
    EXPECT_EQ(m_server.RequestsFor("/HttpStatus.html").size(), 2u);
    EXPECT_EQ(View()->CurrentUrl(), TableUrl(m_server.Port(), "/other"));
    ASSERT_TRUE(WaitForLoad(finished, 3));
    EXPECT_LE(View()->history()->count(), 1);
}

// A page change asked for while a page is still loading returns at once and
// waits in the event loop; the load is stopped after the bound, and a newer
// request replaces the waiting one.
TEST_F(QuorbelViewTest, PageChangeWaitsWithoutBlockingAndNewestWins) {
    m_server.SetPage("/slow", "<html><body>langsam</body></html>", {}, 3000);
    View()->ShowPage(TableUrl(m_server.Port(), "/slow"));
    ASSERT_TRUE(WaitForRequests("/slow", 1));
    ASSERT_TRUE(RunUntil([&] { return View()->IsBusy(); }));

    View()->ShowPage(TableUrl(m_server.Port(), "/next"));
    EXPECT_TRUE(View()->IsPageChangePending());
    EXPECT_EQ(View()->CurrentUrl(), TableUrl(m_server.Port(), "/slow"));
    View()->ShowPage(TableUrl(m_server.Port(), "/newest"));

    ASSERT_TRUE(WaitForRequests("/newest", 1));
    EXPECT_FALSE(View()->IsPageChangePending());
    EXPECT_EQ(View()->CurrentUrl(), TableUrl(m_server.Port(), "/newest"));
    EXPECT_TRUE(m_server.RequestsFor("/next").empty());
    EXPECT_TRUE(RunUntil([&] {
        return View()->url() ==
               QUrl(QStringLiteral("http://localhost:%1/newest").arg(m_server.Port()));
    }));
}

// "Aktualisieren": stop, pause, then a complete reload of the page shown.
TEST_F(QuorbelViewTest, RefreshReloadsThePageShown) {
    QSignalSpy finished(View(), &QWebEngineView::loadFinished);
    View()->ShowPage(TableUrl(m_server.Port(), "/page"));
    ASSERT_TRUE(WaitForLoad(finished, 1));
    View()->OnRefresh();
    ASSERT_TRUE(WaitForRequests("/page", 2));
    EXPECT_EQ(View()->url(), QUrl(QStringLiteral("http://localhost:%1/page").arg(m_server.Port())));
}

// The cache purge must keep the cookies a page has set: the next request
// still carries the cookie.
TEST_F(QuorbelViewTest, PurgeKeepsCookies) {
    m_server.SetPage("/login", "<html><body>angemeldet</body></html>",
                     "Set-Cookie: session=4711; Path=/\r\n");
    QSignalSpy finished(View(), &QWebEngineView::loadFinished);
    View()->ShowPage(TableUrl(m_server.Port(), "/login"));
    ASSERT_TRUE(WaitForLoad(finished, 1));
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        View()->PurgeLocalUrlCache();
        const std::string path = "/after" + std::to_string(round);
        View()->ShowPage(TableUrl(m_server.Port(), path));
        ASSERT_TRUE(WaitForRequests(path, 1));
        ASSERT_TRUE(WaitForLoad(finished, round + 1));
        EXPECT_NE(m_server.RequestsFor(path)[0].find("Cookie: session=4711"), std::string::npos)
            << m_server.RequestsFor(path)[0];
    }
}

// A page the listener served before is fetched again, even when its reply
// allowed caching: the same address may now be answered by another side.
TEST_F(QuorbelViewTest, PagesAreNeverShownFromAKeptCopy) {
    m_server.SetPage("/root", "<html><body>Status</body></html>",
                     "Cache-Control: max-age=3600\r\n");
    QSignalSpy finished(View(), &QWebEngineView::loadFinished);
    const std::string paths[] = {"/root", "/elsewhere", "/root"};
    int loads = 0;
    for (const std::string& path : paths) {
        View()->ShowPage(TableUrl(m_server.Port(), path));
        ASSERT_TRUE(WaitForLoad(finished, ++loads)) << path;
    }
    View()->load(QUrl(QStringLiteral("http://localhost:%1/root").arg(m_server.Port())));
    ASSERT_TRUE(WaitForLoad(finished, ++loads));
    EXPECT_EQ(m_server.RequestsFor("/root").size(), 3u);
}

// The view's profile keeps its data under the user's data folder, not off the record.
TEST_F(QuorbelViewTest, ProfileIsNamedAndDiskBacked) {
    QWebEngineProfile* profile = View()->page()->profile();
    EXPECT_FALSE(profile->isOffTheRecord());
    EXPECT_EQ(profile->storageName(), QStringLiteral("Quorbel"));
    EXPECT_NE(profile, QWebEngineProfile::defaultProfile());
}

// A link to another address (another port, another host) goes nowhere.
TEST_F(QuorbelViewTest, NavigationElsewhereIsRefused) {
    LoopbackHttpServer stranger;
    const std::string strangerUrl = "http://127.0.0.1:" + std::to_string(stranger.Port()) + "/x";
    m_server.SetPage("/links",
                     "<html><body><a id='l' href='" + strangerUrl + "'>weg</a></body></html>");
    QSignalSpy finished(View(), &QWebEngineView::loadFinished);
    View()->ShowPage(TableUrl(m_server.Port(), "/links"));
    ASSERT_TRUE(WaitForLoad(finished, 1));

    View()->page()->runJavaScript(
        QStringLiteral("location.href = '%1'").arg(QString::fromStdString(strangerUrl)));
    // Then a navigation to our own listener, which is let through: once it
    // has arrived, the refused one would have arrived before it.
    View()->page()->runJavaScript(
        QStringLiteral("setTimeout(function(){ location.href = '/own'; }, 0)"));
    ASSERT_TRUE(WaitForRequests("/own", 1));
    EXPECT_TRUE(stranger.Requests().empty());
}

// Printing goes to the page shown, not to an empty page of the window.
TEST_F(QuorbelViewTest, PrintingPrintsThePageShown) {
    m_server.SetPage("/print", "<html><body><h1>Anlagenkonfiguration</h1></body></html>");
    QSignalSpy finished(View(), &QWebEngineView::loadFinished);
    View()->ShowPage(TableUrl(m_server.Port(), "/print"));
    ASSERT_TRUE(WaitForLoad(finished, 1));

    QTemporaryDir folder;
    const QString pagePdf = folder.filePath(QStringLiteral("page.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pagePdf);
    QSignalSpy printed(View(), &QWebEngineView::printFinished);
    ASSERT_TRUE(View()->PrintPage(&printer));
    ASSERT_TRUE(RunUntil([&] { return printed.count() == 1; }));
    EXPECT_TRUE(printed.at(0).at(0).toBool());

    // The same printer with nothing drawn on it gives the size of a blank page.
    const QString blankPdf = folder.filePath(QStringLiteral("blank.pdf"));
    QPrinter blank(QPrinter::HighResolution);
    blank.setOutputFormat(QPrinter::PdfFormat);
    blank.setOutputFileName(blankPdf);
    QPainter painter(&blank);
    painter.end();
    EXPECT_GT(QFileInfo(pagePdf).size(), QFileInfo(blankPdf).size() + 1000);
}

struct CloseCase {
    const char* name;
    int status;
    int expectedHangups;
};

// A page script closing the window, and "Trennen", clear the call in the
// call states only; the window stays in every case.
TEST_F(QuorbelViewTest, PageClosingAndDisconnectClearTheCallOnlyDuringACall) {
    StartBridge();
    ASSERT_TRUE(Bridge()->StartCall("0301234", ""));
    ASSERT_NE(m_control, nullptr);
    QSignalSpy finished(View(), &QWebEngineView::loadFinished);
    ASSERT_TRUE(RunUntil([&] { return finished.count() >= 1 && !View()->IsBusy(); }));
    QSignalSpy closeRequests(View()->page(), &QWebEnginePage::windowCloseRequested);

    const CloseCase cases[] = {
        {"dialling", isdn::STATUS_DIALLING, 1},
        {"connected", isdn::STATUS_CONNECTED, 1},
        {"failed", isdn::STATUS_FAILED, 1},
        {"connecting", isdn::STATUS_CONNECTING, 1},
        {"ready", isdn::STATUS_READY, 0},
        {"error", isdn::STATUS_ERROR, 0},
        {"disconnecting", isdn::STATUS_DISCONNECTING, 0},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bridge()->m_nStatus = c.status;
        int before = m_control->hangups;
        const int closesBefore = static_cast<int>(closeRequests.count());
        View()->page()->runJavaScript(QStringLiteral("window.close()"));
        ASSERT_TRUE(RunUntil([&] { return closeRequests.count() > closesBefore; }));
        EXPECT_EQ(m_control->hangups - before, c.expectedHangups);
        EXPECT_TRUE(m_frame->isVisible());

        before = m_control->hangups;
        View()->OnCallDisconnect();
        EXPECT_EQ(m_control->hangups - before, c.expectedHangups);
    }
}

}  // namespace
