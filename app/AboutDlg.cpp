#include "app/AboutDlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "app/AppIcon.h"

namespace app {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Info über Quorbel"));

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon().pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* version = new QLabel(QStringLiteral("Quorbel Version 1.34"), this);
    version->setTextFormat(Qt::PlainText);
    version->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 14, 12, 14);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addSpacing(14);
    layout->addWidget(version, 1, Qt::AlignTop);
    layout->addSpacing(24);
    layout->addWidget(ok, 0, Qt::AlignTop);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // About the size of the box the program has always shown.
    setMinimumSize(350, 80);
}

}  // namespace app
