// Our Win32 layer for Linux: the part of the Windows API that ROVAN's programs
// call, declared so that the same sources build natively for the unit tests.
// Written from the documented behaviour of the API; never shipped.
#pragma once
#include "w32/base.h"
#include "w32/registry.h"
#include "w32/process.h"
#include "w32/sync.h"
#include "w32/ui.h"
#include "w32/service.h"
