#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "app/MainFrame.h"
#include "app/QuorbelApp.h"
#include "app/QuorbelView.h"
#include "gateway/IsdnBridge.h"
#include "tests/support/EventLoop.h"
#include "tests/support/FakeCallControl.h"

namespace apptest {

// The shell as the program builds it: the main window with its view, and a
// bridge with a real local listener whose ISDN side is a fake call control.
class ShellFixture : public testing::Test {
protected:
    void SetUp() override {
        m_app = app::CQuorbelApp::Instance();
        ASSERT_NE(m_app, nullptr);
        m_app->m_strCallNumber.clear();
        m_app->m_strOwnMsn.clear();
        m_frame = std::make_unique<app::CMainFrame>();
        m_frame->View()->SetTimings(FastTimings());
        m_app->SetMainWindow(m_frame.get());
        m_frame->show();
    }

    void TearDown() override {
        m_app->SetBridge(nullptr);
        m_app->SetMainWindow(nullptr);
        m_frame.reset();
    }

    // A bridge that finds CAPI present and hands out a fake call control.
    void StartBridge() {
        gateway::BridgeParts parts;
        parts.capiInstalled = [] { return uint32_t{0}; };
        parts.makeControl = [this](isdn::CCallOwner&) {
            auto control = std::make_unique<testsupport::FakeCallControl>();
            m_control = control.get();
            return control;
        };
        parts.templatePaths = {QUORBEL_STATUS_TEMPLATE};
        m_app->SetBridge(std::make_unique<gateway::CIsdnBridge>(m_app, parts));
    }

    // The product's waits, shortened; their order stays.
    static app::CQuorbelView::Timings FastTimings() {
        app::CQuorbelView::Timings timings;
        timings.pollMs = 20;
        timings.refreshPauseMs = 50;
        return timings;
    }

    gateway::CIsdnBridge* Bridge() const { return m_app->Bridge(); }
    app::CQuorbelView* View() const { return m_frame->View(); }

    app::CQuorbelApp* m_app = nullptr;
    std::unique_ptr<app::CMainFrame> m_frame;
    testsupport::FakeCallControl* m_control = nullptr;  // owned by the bridge
};

}  // namespace apptest
