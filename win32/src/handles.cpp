#include "handles.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <w32fake.h>

namespace w32fake {
namespace detail {
namespace {
std::mutex mutex;
std::map<uintptr_t, std::shared_ptr<Object>> table;
uintptr_t next = 0x100;
thread_local DWORD lastError = 0;
thread_local int callDepth = 0;
std::mutex hookMutex;
std::function<void(int, const char *)> callHook;
std::atomic<bool> hookSet{false};
std::atomic<int> callCount{0};
std::atomic<int> hooking{0};
}  // namespace

Call::Call(const char *function) {
  if (callDepth++ > 0 || hooking.load() > 0) return;
  int n = ++callCount;
  if (!hookSet.load()) return;
  std::function<void(int, const char *)> hook;
  {
    std::lock_guard<std::mutex> lock(hookMutex);
    hook = callHook;
  }
  if (!hook) return;
  hooking++;
  hook(n, function);
  hooking--;
}
Call::~Call() { callDepth--; }
CallOut::CallOut() : saved(callDepth) { callDepth = 0; }
CallOut::~CallOut() { callDepth = saved; }

void ResetCalls() {
  std::lock_guard<std::mutex> lock(hookMutex);
  callHook = nullptr;
  hookSet = false;
  callCount = 0;
}

HANDLE AddHandle(std::shared_ptr<Object> object) {
  std::lock_guard<std::mutex> lock(mutex);
  next += 4;  // handle values are multiples of four, as on Windows
  table[next] = std::move(object);
  return reinterpret_cast<HANDLE>(next);
}

std::shared_ptr<Object> FindHandle(HANDLE handle) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = table.find(reinterpret_cast<uintptr_t>(handle));
  return it == table.end() ? nullptr : it->second;
}

bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<Object> gone;  // destroyed outside the lock
  std::lock_guard<std::mutex> lock(mutex);
  auto it = table.find(reinterpret_cast<uintptr_t>(handle));
  if (it == table.end()) return false;
  gone = it->second;
  table.erase(it);
  return true;
}

int CountHandles(const char *kind) {
  std::lock_guard<std::mutex> lock(mutex);
  int n = 0;
  for (auto &entry : table)
    if (kind == nullptr || std::strcmp(entry.second->Kind(), kind) == 0) n++;
  return n;
}

void ResetHandles() {
  std::map<uintptr_t, std::shared_ptr<Object>> gone;
  std::lock_guard<std::mutex> lock(mutex);
  gone.swap(table);
}

}  // namespace detail

void Reset() {
  detail::ResetCalls();  // before any call of the layer's own below
  detail::ResetHandles();
  detail::ResetRegistry();
  detail::ResetProcess();
  detail::ResetSync();
  detail::ResetUi();
  detail::ResetService();
  detail::ResetMisc();
  SetLastError(0);
  detail::ResetCalls();  // and not counting that
}

int OpenHandleCount() { return detail::CountHandles(nullptr); }
int LayerCalls() { return detail::callCount.load(); }
void OnLayerCall(std::function<void(int n, const char *function)> hook) {
  std::lock_guard<std::mutex> lock(detail::hookMutex);
  detail::callHook = std::move(hook);
  detail::hookSet = (bool)detail::callHook;
  detail::callCount = 0;
}

}  // namespace w32fake

DWORD GetLastError(void) { W32_CALL; return w32fake::detail::lastError; }
void SetLastError(DWORD code) { W32_CALL; w32fake::detail::lastError = code; }

BOOL CloseHandle(HANDLE h) {
  W32_CALL;
  if (w32fake::detail::RemoveHandle(h)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
