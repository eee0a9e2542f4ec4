// ctest counts a skipped test as passed. Under CI (the environment variable CI set) a test
// that lacks a tool it needs fails instead, so a missing package can't pass unseen.
#pragma once

#include <QTest>

#define VISTREL_SKIP(message)                                                            \
    do {                                                                                 \
        if (!qEnvironmentVariableIsEmpty("CI"))                                          \
            QFAIL(message " (CI is set, so the test may not be skipped)");               \
        QSKIP(message);                                                                  \
    } while (false)
