// Kernel object handles of our Win32 layer: one table for every kind, so that
// CloseHandle works on any of them and the tests can count what is left open.
#pragma once
#include <memory>
#include <windows.h>

namespace w32fake {
namespace detail {

struct Object {
  virtual ~Object() = default;
  virtual const char *Kind() const = 0;
};

HANDLE AddHandle(std::shared_ptr<Object> object);
std::shared_ptr<Object> FindHandle(HANDLE handle);
template <class T> std::shared_ptr<T> FindHandleOf(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(FindHandle(handle));
}
bool RemoveHandle(HANDLE handle);
int CountHandles(const char *kind);
void ResetHandles();

// One call of the program into the layer, made at the top of every Windows
// function (W32_CALL): counted, with the hook of OnLayerCall run before it,
// unless it comes from inside the layer or while a hook runs.
struct Call {
  explicit Call(const char *function);
  ~Call();
  Call(const Call &) = delete;
  Call &operator=(const Call &) = delete;
};
// Around a call back into the program (a handler, a service main): its calls
// count again, though the layer function that calls it has not returned.
struct CallOut {
  CallOut();
  ~CallOut();
  int saved;
};
void ResetCalls();

// Each area clears its own state; Reset() calls them all.
void ResetRegistry();
void ResetProcess();
void ResetSync();
void ResetUi();
void ResetService();
void ResetMisc();

}  // namespace detail
}  // namespace w32fake

#define W32_CALL ::w32fake::detail::Call w32Call(__func__)
