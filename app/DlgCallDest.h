#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace app {

// The connect dialog: the PBX's number to dial and the own MSN to send as
// calling party number. It opens with the application's values and hands
// them back to the application only on OK.
class CDlgCallDest : public QDialog {
    Q_OBJECT
public:
    // Both numbers are limited to this many characters.
    static constexpr int kMaxChars = 24;

    explicit CDlgCallDest(QWidget* parent);

    int DoModal() { return exec(); }

    QLineEdit* NumberEdit() const { return m_editNumber; }
    QLineEdit* OwnMsnEdit() const { return m_editOwnMsn; }
    QPushButton* OkButton() const { return m_buttonOk; }
    QPushButton* CancelButton() const { return m_buttonCancel; }

    std::string m_strNumber;
    std::string m_strOwnMsn;

public slots:
    void OnOK();

private:
    void CreateControls();
    // Reads the fields into the members; false (after the message) when one
    // of them is too long.
    bool UpdateData();
    bool CheckLength(QLineEdit* edit);

    QLineEdit* m_editNumber = nullptr;
    QLineEdit* m_editOwnMsn = nullptr;
    QLabel* m_staticOwnMsn = nullptr;
    QPushButton* m_buttonOk = nullptr;
    QPushButton* m_buttonCancel = nullptr;
};

}  // namespace app
