#pragma once
// The cross-checks in Python (openpyxl, the CSV and JSON readers) start the build machine's
// python3. A Windows build's tests run under Wine, which starts that program but hands it
// Windows paths it cannot open and does not see it end: there those checks are skipped.

#include <QtTest>

#ifdef _WIN32
#define SKIP_PYTHON_CHECKS() QSKIP("the Python cross-check needs the build machine's python3, not reachable under Wine")
#else
#define SKIP_PYTHON_CHECKS() (void)0
#endif
