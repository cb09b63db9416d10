#include "app/DlgCallDest.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/QuorbelApp.h"
#include "res/Resource.h"
#include "res/StringTable.h"

namespace app {
namespace {

QString Text(unsigned id) {
    return QString::fromStdString(res::LoadString(id));
}

// Wide enough for the given number of digits, so a full-length number is seen whole.
int FieldWidth(const QLineEdit* edit, int digits) {
    return QFontMetrics(edit->font()).horizontalAdvance(QString(digits, QLatin1Char('0'))) + 16;
}

}  // namespace

CDlgCallDest::CDlgCallDest(QWidget* parent) : QDialog(parent) {
    if (const CQuorbelApp* app = CQuorbelApp::Instance()) {
        m_strNumber = app->m_strCallNumber;
        m_strOwnMsn = app->m_strOwnMsn;
    }
    setWindowTitle(QStringLiteral("Verbinde mit ..."));
    CreateControls();
    m_editNumber->setText(QString::fromStdString(m_strNumber));
    m_editOwnMsn->setText(QString::fromStdString(m_strOwnMsn));
    m_editNumber->setFocus(Qt::OtherFocusReason);
}

void CDlgCallDest::CreateControls() {
    auto* labelNumber = new QLabel(QStringLiteral("Verbinde mit Rufnummer:"), this);
    m_editNumber = new QLineEdit(this);
    // The called number is limited while typing and pasting; the own MSN only
    // when OK is pressed.
    m_editNumber->setMaxLength(kMaxChars);
    m_staticOwnMsn = new QLabel(QStringLiteral("Eigene Rufnummer:"), this);
    m_editOwnMsn = new QLineEdit(this);
    m_buttonOk = new QPushButton(QStringLiteral("OK"), this);
    m_buttonCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    m_buttonOk->setDefault(true);
    m_buttonOk->setAutoDefault(true);
    m_buttonCancel->setAutoDefault(false);
    connect(m_buttonOk, &QPushButton::clicked, this, &CDlgCallDest::OnOK);
    connect(m_buttonCancel, &QPushButton::clicked, this, &QDialog::reject);

    m_editNumber->setMinimumWidth(FieldWidth(m_editNumber, kMaxChars + 2));
    m_editOwnMsn->setMinimumWidth(FieldWidth(m_editOwnMsn, 12));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_buttonOk);
    buttons->addSpacing(20);
    buttons->addWidget(m_buttonCancel);
    buttons->addStretch(1);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 14, 24, 14);
    layout->addWidget(labelNumber);
    layout->addWidget(m_editNumber, 0, Qt::AlignLeft);
    layout->addSpacing(6);
    layout->addWidget(m_staticOwnMsn);
    layout->addWidget(m_editOwnMsn, 0, Qt::AlignLeft);
    layout->addSpacing(10);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    // The order of the dialog's template: number, OK, Abbrechen, own MSN.
    setTabOrder(m_editNumber, m_buttonOk);
    setTabOrder(m_buttonOk, m_buttonCancel);
    setTabOrder(m_buttonCancel, m_editOwnMsn);
}

bool CDlgCallDest::CheckLength(QLineEdit* edit) {
    if (edit->text().size() <= kMaxChars) return true;
    const QString message = Text(res::AFX_IDP_PARSE_STRING_SIZE).arg(kMaxChars);
    QMessageBox::warning(this, Text(res::AFX_IDS_APP_TITLE), message);
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
    return false;
}

bool CDlgCallDest::UpdateData() {
    if (!CheckLength(m_editNumber) || !CheckLength(m_editOwnMsn)) return false;
    m_strNumber = m_editNumber->text().toStdString();
    m_strOwnMsn = m_editOwnMsn->text().toStdString();
    return true;
}

void CDlgCallDest::OnOK() {
    if (!UpdateData()) return;
    if (CQuorbelApp* app = CQuorbelApp::Instance()) {
        app->m_strCallNumber = m_strNumber;
        app->m_strOwnMsn = m_strOwnMsn;
    }
    accept();
}

}  // namespace app
