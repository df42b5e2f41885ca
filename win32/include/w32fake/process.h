#pragma once
#include <string>
#include <vector>
#include <windows.h>

namespace w32fake {
// One CreateProcessA call as the program made it.
struct ProcessStart {
  bool hadApplicationName;
  std::string commandLine;
  bool hadProcessAttributes, hadThreadAttributes;
  BOOL inheritHandles;
  DWORD creationFlags;
  bool hadEnvironment;
  bool hadDirectory;  // false: a null directory was passed
  std::string directory;
  STARTUPINFOA startupInfo;
  bool started;  // false when the start was made to fail
};
const std::vector<ProcessStart> &ProcessStarts();
// The next starts fail with this Windows error code, one code per start.
void FailNextProcessStart(DWORD error);
// The process and thread handles handed out and not yet closed.
int OpenProcessHandleCount();
// Handles duplicated into a started process: they keep their object alive
// as the process would (a named event stays, and counts in OpenEventHandles),
// but are not among the caller's own handles.
int HandlesGivenToProcesses();
}  // namespace w32fake
