#pragma once

#include <QIcon>

namespace app {

// The program's icon (a small PBX with a plug), compiled into the program.
QIcon AppIcon();

}  // namespace app
