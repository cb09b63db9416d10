#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>

#include "app/AboutDlg.h"
#include "app/DlgCallDest.h"
#include "app/MainFrame.h"
#include "isdn/CallOwner.h"
#include "platform/Profile.h"
#include "tests/app/KeyInput.h"
#include "tests/app/ModalWatcher.h"
#include "tests/app/ShellFixture.h"

namespace {

using apptest::RunWithModal;
using apptest::ShellFixture;
using apptest::TypeText;
using testsupport::RunUntil;

struct MenuItem {
    const char* menu;
    const char* item;
    const char* prompt;  // shown in the first pane while the item is highlighted
};

const MenuItem kMenu[] = {
    {"&Datei", "&Beenden", "Beendet die Anwendung und fordert zum Speichern der Dokumente auf."},
    {"Ansicht", "&Aktualisieren", ""},
    {"Verbindung", "&Verbinde mit", "Stellt eine Serviceverbindung her."},
    {"Verbindung", "&Trennen", "Trennt die aktuelle Verbindung."},
    {"&Hilfe", "&Info über Quorbel...",
     "Zeigt Programm-, Versions- und Copyrightinformationen an."},
};

class MainFrameTest : public ShellFixture {
protected:
    QAction* Item(const char* menuTitle, const char* itemText) const {
        for (QAction* top : m_frame->menuBar()->actions()) {
            if (top->text() != QString::fromUtf8(menuTitle) || !top->menu()) continue;
            for (QAction* item : top->menu()->actions()) {
                if (item->text() == QString::fromUtf8(itemText)) return item;
            }
        }
        return nullptr;
    }
    QMenu* Menu(const char* menuTitle) const {
        for (QAction* top : m_frame->menuBar()->actions()) {
            if (top->text() == QString::fromUtf8(menuTitle)) return top->menu();
        }
        return nullptr;
    }
};

TEST_F(MainFrameTest, MenusAndCaptionAsTheProgramShowsThem) {
    EXPECT_EQ(m_frame->windowTitle(), QStringLiteral("Quorbel"));
    EXPECT_FALSE(m_frame->windowIcon().isNull());
    QStringList titles;
    for (QAction* top : m_frame->menuBar()->actions()) titles << top->text();
    EXPECT_EQ(titles, (QStringList{"&Datei", "Ansicht", "Verbindung", "&Hilfe"}));
    for (const MenuItem& item : kMenu) {
        QAction* action = Item(item.menu, item.item);
        ASSERT_NE(action, nullptr) << item.item;
        EXPECT_TRUE(action->isEnabled()) << item.item;
    }
}

// While an item is highlighted its prompt stands in the first pane; when
// the menu closes the pane says "Bereit" again.
TEST_F(MainFrameTest, PromptsFollowTheHighlightedItem) {
    EXPECT_EQ(m_frame->MessagePane()->text(), QStringLiteral("Bereit"));
    for (const MenuItem& item : kMenu) {
        SCOPED_TRACE(item.item);
        Item(item.menu, item.item)->hover();
        EXPECT_EQ(m_frame->MessagePane()->text(), QString::fromUtf8(item.prompt));
        QMenu* menu = Menu(item.menu);
        menu->popup(m_frame->mapToGlobal(QPoint(10, 10)));
        menu->hide();
        EXPECT_EQ(m_frame->MessagePane()->text(), QStringLiteral("Bereit"));
    }
}

// "Verbinde mit": the dialog, and on OK a call to the number with the MSN;
// cancelled, no call.
TEST_F(MainFrameTest, ConnectRunsTheDialogAndStartsTheCallOnOk) {
    StartBridge();
    m_app->m_strOwnMsn = "123";
    QAction* connect = Item("Verbindung", "&Verbinde mit");

    EXPECT_TRUE(RunWithModal<app::CDlgCallDest>(
        [&] { connect->trigger(); }, [](app::CDlgCallDest* dialog) { dialog->reject(); }));
    EXPECT_EQ(m_control, nullptr);  // no call was ever started
    EXPECT_EQ(m_app->m_strCallNumber, "");

    EXPECT_TRUE(RunWithModal<app::CDlgCallDest>([&] { connect->trigger(); },
                                                [](app::CDlgCallDest* dialog) {
                                                    EXPECT_EQ(dialog->OwnMsnEdit()->text(), "123");
                                                    TypeText(dialog->NumberEdit(), "0301234");
                                                    dialog->OkButton()->click();
                                                }));
    ASSERT_NE(m_control, nullptr);
    std::lock_guard guard(m_control->lock);
    EXPECT_EQ(m_control->connects, (std::vector<std::string>{"0301234|123"}));
    EXPECT_EQ(m_app->m_strCallNumber, "0301234");
}

// "Verbinde mit" without a bridge still shows the dialog and starts nothing.
TEST_F(MainFrameTest, ConnectWithoutBridgeOnlyShowsTheDialog) {
    EXPECT_TRUE(RunWithModal<app::CDlgCallDest>(
        [&] { Item("Verbindung", "&Verbinde mit")->trigger(); },
        [](app::CDlgCallDest* dialog) { dialog->OkButton()->click(); }));
}

TEST_F(MainFrameTest, DisconnectClearsOnlyACall) {
    QAction* disconnect = Item("Verbindung", "&Trennen");
    disconnect->trigger();  // no bridge at all: nothing, no message
    StartBridge();
    disconnect->trigger();  // a bridge, no call
    EXPECT_EQ(m_control, nullptr);
    ASSERT_TRUE(Bridge()->StartCall("0301234", ""));
    Bridge()->m_nStatus = isdn::STATUS_READY;
    disconnect->trigger();
    EXPECT_EQ(m_control->hangups, 0);
    Bridge()->m_nStatus = isdn::STATUS_CONNECTED;
    disconnect->trigger();
    EXPECT_EQ(m_control->hangups, 1);
}

TEST_F(MainFrameTest, InfoShowsTheAboutBox) {
    QString title;
    QStringList texts;
    EXPECT_TRUE(
        RunWithModal<app::CAboutDlg>([&] { Item("&Hilfe", "&Info über Quorbel...")->trigger(); },
                                     [&](app::CAboutDlg* dialog) {
                                         title = dialog->windowTitle();
                                         for (auto* label : dialog->findChildren<QLabel*>()) {
                                             texts << label->text();
                                         }
                                         dialog->findChild<QPushButton*>()->click();
                                     }));
    EXPECT_EQ(title, QStringLiteral("Info über Quorbel"));
    EXPECT_TRUE(texts.contains(QStringLiteral("Quorbel Version 1.34")));
}

TEST_F(MainFrameTest, RefreshReloadsThePage) {
    StartBridge();
    QSignalSpy requested(View(), &app::CQuorbelView::PageRequested);
    ASSERT_TRUE(RunUntil([&] { return !View()->IsBusy() && !View()->url().isEmpty(); }));
    Item("Ansicht", "&Aktualisieren")->trigger();
    ASSERT_TRUE(RunUntil([&] { return requested.count() == 1; }));
    EXPECT_TRUE(requested.at(0).at(1).toBool());
}

TEST_F(MainFrameTest, ExitSavesTheOwnMsn) {
    m_app->m_strOwnMsn = "4711";
    Item("&Datei", "&Beenden")->trigger();
    EXPECT_EQ(platform::CProfile::GetProfileString("DialParms", "OwnMSN"), "4711");
}

}  // namespace
