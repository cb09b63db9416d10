#include <gtest/gtest.h>

#include <QLabel>

#include "app/QuorbelDoc.h"
#include "isdn/CallOwner.h"
#include "tests/app/ShellFixture.h"
#include "tests/support/EventLoop.h"

namespace {

using apptest::ShellFixture;
using testsupport::RunIdleUntil;

struct PaneCase {
    const char* name;
    int status;
    uint16_t reason;
    const char* number;
    const char* expected;
};

const PaneCase kPaneCases[] = {
    {"error", isdn::STATUS_ERROR, 0, "", "Fehler"},
    {"ready", isdn::STATUS_READY, 0, "0301234", "Bereit"},
    {"ready_after_reason", isdn::STATUS_READY, 0x3490, "0301234", "Capi: 0x3490"},
    {"reason_in_lower_case_hex", isdn::STATUS_READY, 0x34a9, "", "Capi: 0x34a9"},
    {"dialling", isdn::STATUS_DIALLING, 0, "0301234", "Wähle ...  0301234"},
    {"connected", isdn::STATUS_CONNECTED, 0, "0301234", "Verbunden  0301234"},
    {"failed", isdn::STATUS_FAILED, 0x3491, "0301234", "Verbindung fehlgeschlagen  0301234"},
    {"connecting", isdn::STATUS_CONNECTING, 0, "0301234", "Verbinde ...  0301234"},
    {"disconnecting", isdn::STATUS_DISCONNECTING, 0, "0301234", "Verbindungstrennung  0301234"},
    {"unknown_code", 7, 0, "0301234", "Default"},
};

TEST_F(ShellFixture, PanesWithoutBridgeShowNeutralTexts) {
    EXPECT_EQ(app::CQuorbelDoc::OnUpdateIsdnPane(nullptr), "");
    EXPECT_EQ(app::CQuorbelDoc::OnUpdateSocketPane(nullptr), "Socket 0 ready");
    m_frame->UpdatePanes();
    EXPECT_EQ(m_frame->IsdnPane()->text(), QString());
    EXPECT_EQ(m_frame->SocketPane()->text(), QStringLiteral("Socket 0 ready"));
}

TEST_F(ShellFixture, SocketPaneShowsTheListenersPort) {
    StartBridge();
    const unsigned port = Bridge()->ListeningPort();
    ASSERT_NE(port, 0u);
    const std::string expected = "Socket " + std::to_string(port) + " ready";
    EXPECT_EQ(app::CQuorbelDoc::OnUpdateSocketPane(Bridge()), expected);
    // The frame shows it once the event loop has fallen idle.
    EXPECT_TRUE(
        RunIdleUntil([&] { return m_frame->SocketPane()->text().toStdString() == expected; }));
}

// Every status code's text reaches the ISDN pane after the next idle time,
// without anyone asking the frame to refresh.
TEST_F(ShellFixture, IsdnPaneFollowsEveryStatus) {
    StartBridge();
    for (const PaneCase& c : kPaneCases) {
        SCOPED_TRACE(c.name);
        Bridge()->m_strNumber = c.number;
        Bridge()->m_wReason = c.reason;
        Bridge()->m_nStatus = c.status;
        EXPECT_EQ(app::CQuorbelDoc::OnUpdateIsdnPane(Bridge()), c.expected);
        const QString expected = QString::fromUtf8(c.expected);
        EXPECT_TRUE(RunIdleUntil([&] { return m_frame->IsdnPane()->text() == expected; }))
            << m_frame->IsdnPane()->text().toStdString();
    }
}

// The panes are as wide as their sizing strings, so the longest status text
// and a five-digit port are not cut off.
TEST_F(ShellFixture, PanesAreWideEnoughForTheirTexts) {
    const QFontMetrics metrics(m_frame->IsdnPane()->font());
    EXPECT_GE(m_frame->IsdnPane()->width(),
              metrics.horizontalAdvance(QStringLiteral("Verbindung fehlgeschlagen  0301234")));
    EXPECT_GE(m_frame->SocketPane()->width(),
              metrics.horizontalAdvance(QStringLiteral("Socket 65535 ready")));
    EXPECT_LT(m_frame->IsdnPane()->x(), m_frame->SocketPane()->x());
}

}  // namespace
