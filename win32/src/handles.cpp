#include "handles.h"

#include <cstring>
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
}  // namespace

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
  detail::ResetHandles();
  detail::ResetRegistry();
  detail::ResetProcess();
  detail::ResetSync();
  detail::ResetUi();
  detail::ResetService();
  detail::ResetMisc();
  SetLastError(0);
}

}  // namespace w32fake

DWORD GetLastError(void) { return w32fake::detail::lastError; }
void SetLastError(DWORD code) { w32fake::detail::lastError = code; }

BOOL CloseHandle(HANDLE h) {
  if (w32fake::detail::RemoveHandle(h)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
