// Control of our Win32 layer for Linux, for the unit tests: fill and break the
// registry, script answers, and read back what the programs asked of Windows.
#pragma once
#include <windows.h>
#include "w32fake/registry.h"
#include "w32fake/process.h"
#include "w32fake/sync.h"
#include "w32fake/ui.h"
#include "w32fake/service.h"
#include "w32fake/misc.h"
#include "w32fake/calls.h"

namespace w32fake {
// Back to a machine with an empty registry, no processes, no events, no
// windows and no services; every script and record cleared.
void Reset();
}  // namespace w32fake
