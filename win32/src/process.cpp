// Process starts of our Win32 layer: recorded, never run.
#include <cstring>
#include <deque>
#include <mutex>
#include <w32fake.h>

#include "handles.h"

namespace {
struct ProcessObject : w32fake::detail::Object {
  const char *Kind() const override { return "process"; }
};
std::mutex mutex;
std::vector<w32fake::ProcessStart> starts;
std::deque<DWORD> failures;
std::vector<std::shared_ptr<w32fake::detail::Object>> given;
DWORD nextId = 1000;
}  // namespace

namespace w32fake {
const std::vector<ProcessStart> &ProcessStarts() { return starts; }
void FailNextProcessStart(DWORD error) {
  std::lock_guard<std::mutex> lock(mutex);
  failures.push_back(error);
}
int OpenProcessHandleCount() { return detail::CountHandles("process"); }
int HandlesGivenToProcesses() {
  std::lock_guard<std::mutex> lock(mutex);
  return (int)given.size();
}
namespace detail {
void ResetProcess() {
  std::lock_guard<std::mutex> lock(mutex);
  starts.clear();
  failures.clear();
  given.clear();
}
}  // namespace detail
}  // namespace w32fake

void GetStartupInfoA(LPSTARTUPINFOA info) {
  W32_CALL;
  std::memset(info, 0, sizeof *info);
  info->cb = sizeof *info;
}

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES processAttributes,
                    LPSECURITY_ATTRIBUTES threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                    LPPROCESS_INFORMATION processInformation) {
  W32_CALL;
  std::lock_guard<std::mutex> lock(mutex);
  w32fake::ProcessStart s{};
  s.hadApplicationName = applicationName != nullptr;
  s.commandLine = commandLine ? commandLine : "";
  s.hadProcessAttributes = processAttributes != nullptr;
  s.hadThreadAttributes = threadAttributes != nullptr;
  s.inheritHandles = inheritHandles;
  s.creationFlags = creationFlags;
  s.hadEnvironment = environment != nullptr;
  s.hadDirectory = currentDirectory != nullptr;
  s.directory = currentDirectory ? currentDirectory : "";
  if (startupInfo) s.startupInfo = *startupInfo;
  s.started = failures.empty();
  DWORD error = s.started ? 0 : failures.front();
  if (!s.started) failures.pop_front();
  starts.push_back(s);
  if (startupInfo == nullptr || processInformation == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Windows writes into the command line buffer while it looks for the
  // program; a read-only literal would fault there.
  if (commandLine != nullptr && *commandLine) commandLine[0] = commandLine[0];
  // An empty working directory is not "the current one": Wine (and so our
  // reference) refuses it with ERROR_DIRECTORY, as for a path that is no
  // directory.
  if (!error && currentDirectory != nullptr && *currentDirectory == 0) error = ERROR_DIRECTORY;
  if (error) {
    starts.back().started = false;
    SetLastError(error);
    return FALSE;
  }
  processInformation->hProcess = w32fake::detail::AddHandle(std::make_shared<ProcessObject>());
  processInformation->hThread = w32fake::detail::AddHandle(std::make_shared<ProcessObject>());
  processInformation->dwProcessId = nextId++;
  processInformation->dwThreadId = nextId++;
  return TRUE;
}

// The pseudo handle of the calling process, as on Windows: (HANDLE)-1.
HANDLE GetCurrentProcess(void) { W32_CALL; return reinterpret_cast<HANDLE>(intptr_t(-1)); }

// Only what a program of ours does: hand one of its own handles to a process
// it started.
BOOL DuplicateHandle(HANDLE sourceProcess, HANDLE source, HANDLE targetProcess, LPHANDLE target, DWORD access,
                     BOOL inherit, DWORD options) {
  W32_CALL;
  (void)access;
  (void)inherit;
  auto object = w32fake::detail::FindHandle(source);
  auto process = w32fake::detail::FindHandleOf<ProcessObject>(targetProcess);
  if (sourceProcess != GetCurrentProcess() || !object || !process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  size_t n;
  {
    std::lock_guard<std::mutex> lock(mutex);
    given.push_back(object);
    n = given.size();
  }
  if (target) *target = reinterpret_cast<HANDLE>(uintptr_t(0x10000 + 4 * n));
  if (options & DUPLICATE_CLOSE_SOURCE) CloseHandle(source);
  return TRUE;
}
