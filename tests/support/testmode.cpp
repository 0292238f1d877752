// Puts QStandardPaths into test mode in every executable this object is
// linked into: dialog state (last folder, history) and settings go to a
// test location instead of the user's own.
//
// A namespace-scope initializer rather than Q_COREAPP_STARTUP_FUNCTION: it
// runs before main(), so it covers units without an application object too.
// The file is an OBJECT library, so its object is always part of the
// executable; in a static library nothing would reference it and the
// linker would drop it.

#include <QStandardPaths>

namespace {

const bool testModeOn = [] {
    QStandardPaths::setTestModeEnabled(true);
    return true;
}();

} // namespace
