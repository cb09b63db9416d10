#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/DlgCallDest.h"
#include "app/QuorbelApp.h"
#include "tests/app/KeyInput.h"
#include "tests/app/ModalWatcher.h"

namespace {

using apptest::PressKey;
using apptest::RunWithModal;
using apptest::TypeText;

class DlgCallDestTest : public testing::Test {
protected:
    void SetUp() override {
        m_app = app::CQuorbelApp::Instance();
        ASSERT_NE(m_app, nullptr);
        m_app->m_strCallNumber = "0401111";
        m_app->m_strOwnMsn = "999";
    }

    // Replaces a field's text by typing, as the technician would.
    static void Retype(QLineEdit* edit, const QString& text) {
        edit->clear();
        TypeText(edit, text);
    }

    app::CQuorbelApp* m_app = nullptr;
};

TEST_F(DlgCallDestTest, OpensWithTheApplicationsValuesAndTexts) {
    app::CDlgCallDest dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Verbinde mit ..."));
    EXPECT_EQ(dialog.NumberEdit()->text(), QStringLiteral("0401111"));
    EXPECT_EQ(dialog.OwnMsnEdit()->text(), QStringLiteral("999"));
    EXPECT_EQ(dialog.OkButton()->text(), QStringLiteral("OK"));
    EXPECT_EQ(dialog.CancelButton()->text(), QStringLiteral("Abbrechen"));
    EXPECT_TRUE(dialog.OkButton()->isDefault());
    QStringList labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
    EXPECT_TRUE(labels.contains(QStringLiteral("Verbinde mit Rufnummer:")));
    EXPECT_TRUE(labels.contains(QStringLiteral("Eigene Rufnummer:")));
}

enum class Finish { Ok, Enter, Cancel, Escape };

struct ExchangeCase {
    const char* name;
    QString typedNumber;
    QString typedMsn;
    Finish finish;
    int expectedResult;
    std::string expectedNumber;  // the application's afterwards
    std::string expectedMsn;
};

const QString k25Digits = QStringLiteral("1234567890123456789012345");

const ExchangeCase kExchangeCases[] = {
    {"ok_copies_both", "0301234", "123", Finish::Ok, QDialog::Accepted, "0301234", "123"},
    {"enter_is_ok", "0301234", "123", Finish::Enter, QDialog::Accepted, "0301234", "123"},
    {"number_stops_at_24_while_typing", k25Digits, "1", Finish::Ok, QDialog::Accepted,
     "123456789012345678901234", "1"},
    {"msn_of_24_accepted", "1", "123456789012345678901234", Finish::Ok, QDialog::Accepted, "1",
     "123456789012345678901234"},
    {"letters_and_umlauts_as_typed", QStringLiteral("Zentrale Süd"), QStringLiteral("Müller"),
     Finish::Ok, QDialog::Accepted, "Zentrale Süd", "Müller"},
    {"empty_fields_accepted", "", "", Finish::Ok, QDialog::Accepted, "", ""},
    {"spaces_not_trimmed", " 030 ", " 1 ", Finish::Ok, QDialog::Accepted, " 030 ", " 1 "},
    {"cancel_changes_nothing", "0301234", "123", Finish::Cancel, QDialog::Rejected, "0401111",
     "999"},
    {"escape_changes_nothing", "0301234", "123", Finish::Escape, QDialog::Rejected, "0401111",
     "999"},
};

TEST_F(DlgCallDestTest, ValuesReachTheApplicationOnlyOnOk) {
    for (const ExchangeCase& c : kExchangeCases) {
        SCOPED_TRACE(c.name);
        SetUp();
        app::CDlgCallDest dialog(nullptr);
        dialog.show();
        Retype(dialog.NumberEdit(), c.typedNumber);
        Retype(dialog.OwnMsnEdit(), c.typedMsn);
        switch (c.finish) {
            case Finish::Ok:
                dialog.OkButton()->click();
                break;
            case Finish::Enter:
                PressKey(dialog.OwnMsnEdit(), Qt::Key_Return);
                break;
            case Finish::Cancel:
                dialog.CancelButton()->click();
                break;
            case Finish::Escape:
                PressKey(dialog.NumberEdit(), Qt::Key_Escape);
                break;
        }
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), c.expectedResult);
        EXPECT_EQ(m_app->m_strCallNumber, c.expectedNumber);
        EXPECT_EQ(m_app->m_strOwnMsn, c.expectedMsn);
        if (c.expectedResult == QDialog::Accepted) {
            EXPECT_EQ(dialog.m_strNumber, c.expectedNumber);
            EXPECT_EQ(dialog.m_strOwnMsn, c.expectedMsn);
        }
    }
}

TEST_F(DlgCallDestTest, PastedNumberIsCutAt24) {
    app::CDlgCallDest dialog(nullptr);
    dialog.NumberEdit()->clear();
    dialog.NumberEdit()->insert(k25Digits + k25Digits);
    EXPECT_EQ(dialog.NumberEdit()->text().size(), app::CDlgCallDest::kMaxChars);
}

// The own MSN is not limited while typing; OK refuses a long one with the
// message, keeps the dialog open and selects the field for correction.
TEST_F(DlgCallDestTest, LongOwnMsnIsRefusedOnOkAndSelected) {
    app::CDlgCallDest dialog(nullptr);
    dialog.show();
    const QString thirty = QStringLiteral("123456789012345678901234567890");
    Retype(dialog.OwnMsnEdit(), thirty);
    ASSERT_EQ(dialog.OwnMsnEdit()->text(), thirty);

    QString message;
    const bool shown = RunWithModal<QMessageBox>([&] { dialog.OkButton()->click(); },
                                                 [&](QMessageBox* box) {
                                                     message = box->text();
                                                     box->accept();
                                                 });
    EXPECT_TRUE(shown);
    EXPECT_EQ(message, QStringLiteral("Enter no more than 24 characters."));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.focusWidget(), dialog.OwnMsnEdit());
    EXPECT_EQ(dialog.OwnMsnEdit()->selectedText(), thirty);
    EXPECT_EQ(m_app->m_strOwnMsn, "999");
    EXPECT_EQ(m_app->m_strCallNumber, "0401111");

    // Shortened to 24 characters, OK closes the dialog.
    Retype(dialog.OwnMsnEdit(), thirty.left(24));
    dialog.OkButton()->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(m_app->m_strOwnMsn, thirty.left(24).toStdString());
}

// Tab leads from the called number to OK, Abbrechen, the own MSN and round
// again; Shift+Tab goes the same way back.
TEST_F(DlgCallDestTest, TabOrderFollowsTheTemplate) {
    app::CDlgCallDest dialog(nullptr);
    dialog.show();
    const std::vector<QWidget*> order = {dialog.NumberEdit(), dialog.OkButton(),
                                         dialog.CancelButton(), dialog.OwnMsnEdit(),
                                         dialog.NumberEdit()};
    ASSERT_EQ(dialog.focusWidget(), order.front());
    for (size_t i = 1; i < order.size(); ++i) {
        PressKey(dialog.focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(dialog.focusWidget(), order[i]) << "after Tab " << i;
    }
    for (size_t i = order.size() - 1; i > 0; --i) {
        PressKey(dialog.focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        EXPECT_EQ(dialog.focusWidget(), order[i - 1]) << "after Shift+Tab " << i;
    }
}

}  // namespace
