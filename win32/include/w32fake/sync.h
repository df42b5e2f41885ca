#pragma once
#include <string>
#include <windows.h>

namespace w32fake {
// Creating the event of this name fails with the given code until Reset.
void FailCreateEvent(const std::string &name, DWORD error);
// Open handles to the event of this name (0 when it does not exist), and all
// open event handles.
int OpenEventHandles(const std::string &name);
int OpenEventHandleCount();
// The state of a named event; false when it does not exist.
bool IsEventSet(const std::string &name);
// Sets a named event as another process holding it would; false when it does
// not exist.
bool SetNamedEvent(const std::string &name);
// Threads blocked in WaitForSingleObject on the event of this name.
int EventWaiters(const std::string &name);
// Threads blocked in EnterCriticalSection on a section another thread holds.
int CriticalSectionWaiters();
}  // namespace w32fake
