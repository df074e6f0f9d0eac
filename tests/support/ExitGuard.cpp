// Linked into every test: the program's process end is refused unless a test installs a
// ScopedProcessRecorder. A test that reached the real end would stop with status 0 and CTest would
// count it passed, whatever had failed before.

#include "platform/Services.h"

#include <QCoreApplication>
#include <QtGlobal>

namespace {

class ExitRefused : public platform::ProcessService {
public:
    void exitProcess(int code) override {
        qFatal("The program ended the process (code %d) in a test that does not expect it; "
               "a test that expects the end installs platform::ScopedProcessRecorder.",
               code);
    }
    bool startDetached(const QString&, const QStringList&) override { return false; }
    bool openUrl(const QString&) override { return false; }
};

void refuseProcessEnd() {
    static ExitRefused refused;
    platform::setProcessService(&refused);
}

} // namespace

// Installed with the application object, so that a child process a test starts before making
// one still ends as the program does.
Q_COREAPP_STARTUP_FUNCTION(refuseProcessEnd)
