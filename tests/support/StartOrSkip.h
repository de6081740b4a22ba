#pragma once

#include <gtest/gtest.h>

// Starts a test server in a test body: the test is skipped when the server's
// program is missing (or needs root it does not have), and fails with sWhy
// when the server did not come up.
#define KELVO_START_OR_SKIP(server, sWhy)                                                        \
    do {                                                                                         \
        if (!(server).Start()) {                                                                 \
            if (!(server).skipReason().isEmpty()) GTEST_SKIP() << (server).skipReason().toStdString(); \
            FAIL() << sWhy;                                                                      \
        }                                                                                        \
    } while (false)
