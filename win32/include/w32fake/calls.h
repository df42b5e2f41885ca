#pragma once
#include <functional>

namespace w32fake {
// The program's calls into the layer (every Windows function), counted from
// the last Reset or OnLayerCall. Calls the layer makes itself, and calls made
// on any thread while a hook runs, do not count.
int LayerCalls();
// hook(n, function) runs on the calling thread right before the program's
// nth counted call, for every n, until Reset.
void OnLayerCall(std::function<void(int n, const char *function)> hook);
// Kernel object handles of every kind open in the program.
int OpenHandleCount();
}  // namespace w32fake
