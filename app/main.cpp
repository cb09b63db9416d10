#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "app/DefaultParts.h"
#include "app/QuorbelApp.h"

namespace {

// The browser engine refuses to run as root with its sandbox on.
void AllowEngineAsRoot() {
    if (geteuid() != 0 || std::getenv("QTWEBENGINE_DISABLE_SANDBOX")) return;
    setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
    std::fputs("quorbel: running as root, browser sandbox switched off\n", stderr);
}

// The engine reports its start-up settings on stderr; the program keeps no
// log, so that report stays off unless the user asks for it.
void QuietEngineStartUp() { setenv("QT_LOGGING_RULES", "qt.webenginecontext.info=false", 0); }

}  // namespace

int main(int argc, char** argv) {
    AllowEngineAsRoot();
    QuietEngineStartUp();
    app::CQuorbelApp application(argc, argv, app::DefaultBridgeParts());
    if (!application.InitInstance()) return 1;
    return application.exec();
}
