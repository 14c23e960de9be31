#pragma once
#include <QString>

#include "tests/support/TestMain.h"
#include "tests/support/WaitUntil.h"

using testsupport::Pump;
using testsupport::WaitForTimersDue;
using testsupport::WaitUntil;

// The private folder every test of this program works in (also its current
// directory and the parent of its XDG folders).
inline QString TestWorkDir() {
    return QString::fromStdString(testsupport::WorkDir());
}
