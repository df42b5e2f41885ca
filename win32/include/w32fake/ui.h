#pragma once
#include <windows.h>

namespace w32fake {
}  // namespace w32fake
