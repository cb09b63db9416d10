#pragma once

#include <QDialog>

namespace app {

// The about box: the program's icon, name and version.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    int DoModal() { return exec(); }
};

}  // namespace app
