// Installs the modal guard in every window test executable when its
// application object is made. An OBJECT library of its own: in the static
// support library nothing would reference this object and the linker would
// drop it, and the benchmark, which answers its dialogs itself, must not
// have it.

#include "modalguard.h"

#include <QCoreApplication>

namespace {

void startModalGuard()
{
    testsupport::installModalGuard();
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(startModalGuard)
