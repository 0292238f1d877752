#pragma once

#include <QTest>

// Stops the test function when a helper has recorded a failure.
#define STEP(call)                      \
    do {                                \
        call;                           \
        if (QTest::currentTestFailed()) \
            return;                     \
    } while (false)
