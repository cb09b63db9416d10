#include "app/AppIcon.h"

// The resource lives in a static library: the linker keeps its initialiser
// only when something names it.
static void InitIconResource() {
    Q_INIT_RESOURCE(Quorbel);
}

namespace app {

QIcon AppIcon() {
    static const bool registered = (InitIconResource(), true);
    (void)registered;
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        icon.addFile(QStringLiteral(":/icons/quorbel-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace app
