// Events, waits, critical sections and interlocked exchanges of our Win32
// layer. Events really block, so that the programs' threads meet as they do
// on Windows; named events are shared by every handle opened on the name and
// live while a handle is open.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <w32fake.h>

#include "handles.h"

namespace {
struct EventState {
  std::string name;
  bool manual = true;
  bool set = false;
  int waiters = 0;
  std::atomic<int> handles{0};
  std::condition_variable changed;
};

// One lock for all events: waits are few and short in the tests.
std::mutex mutex;
std::map<std::string, std::weak_ptr<EventState>> named;
std::map<std::string, DWORD> createFailures;
std::atomic<int> sectionWaiters{0};

struct EventObject : w32fake::detail::Object {
  std::shared_ptr<EventState> state;
  explicit EventObject(std::shared_ptr<EventState> s) : state(std::move(s)) { state->handles++; }
  ~EventObject() override { state->handles--; }
  const char *Kind() const override { return "event"; }
};

std::shared_ptr<EventState> Named(const std::string &name) {
  auto it = named.find(name);
  return it == named.end() ? nullptr : it->second.lock();
}

}  // namespace

namespace w32fake {
void FailCreateEvent(const std::string &name, DWORD error) {
  std::lock_guard<std::mutex> lock(mutex);
  createFailures[name] = error;
}
int OpenEventHandles(const std::string &name) {
  std::lock_guard<std::mutex> lock(mutex);
  auto state = Named(name);
  return state ? state->handles.load() : 0;
}
int OpenEventHandleCount() { return detail::CountHandles("event"); }
bool IsEventSet(const std::string &name) {
  std::lock_guard<std::mutex> lock(mutex);
  auto state = Named(name);
  return state && state->set;
}
bool SetNamedEvent(const std::string &name) {
  std::lock_guard<std::mutex> lock(mutex);
  auto state = Named(name);
  if (!state) return false;
  state->set = true;
  state->changed.notify_all();
  return true;
}
int EventWaiters(const std::string &name) {
  std::lock_guard<std::mutex> lock(mutex);
  auto state = Named(name);
  return state ? state->waiters : 0;
}
int CriticalSectionWaiters() { return sectionWaiters.load(); }
namespace detail {
void ResetSync() {
  std::lock_guard<std::mutex> lock(mutex);
  named.clear();
  createFailures.clear();
}
}  // namespace detail
}  // namespace w32fake

HANDLE CreateEventA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, BOOL initialState, LPCSTR name) {
  W32_CALL;
  (void)attributes;
  std::shared_ptr<EventState> state;
  bool existed = false;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (name != nullptr) {
      auto failure = createFailures.find(name);
      if (failure != createFailures.end()) {
        SetLastError(failure->second);
        return nullptr;
      }
      state = Named(name);
      existed = state != nullptr;
    }
    if (!state) {
      state = std::make_shared<EventState>();
      state->name = name ? name : "";
      state->manual = manualReset != FALSE;
      state->set = initialState != FALSE;
      if (name != nullptr) named[name] = state;
    }
  }
  HANDLE h = w32fake::detail::AddHandle(std::make_shared<EventObject>(state));
  // An existing event is opened as it is: its reset mode and state stay.
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return h;
}

static std::shared_ptr<EventState> EventOf(HANDLE h) {
  auto object = w32fake::detail::FindHandleOf<EventObject>(h);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return object->state;
}

BOOL SetEvent(HANDLE event) {
  W32_CALL;
  auto state = EventOf(event);
  if (!state) return FALSE;
  std::lock_guard<std::mutex> lock(mutex);
  state->set = true;
  state->changed.notify_all();
  return TRUE;
}

BOOL ResetEvent(HANDLE event) {
  W32_CALL;
  auto state = EventOf(event);
  if (!state) return FALSE;
  std::lock_guard<std::mutex> lock(mutex);
  state->set = false;
  return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  W32_CALL;
  auto state = EventOf(handle);
  if (!state) return WAIT_FAILED;
  std::unique_lock<std::mutex> lock(mutex);
  state->waiters++;
  bool signalled;
  if (milliseconds == INFINITE) {
    state->changed.wait(lock, [&] { return state->set; });
    signalled = true;
  } else {
    signalled = state->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), [&] { return state->set; });
  }
  state->waiters--;
  if (!signalled) return WAIT_TIMEOUT;
  if (!state->manual) state->set = false;  // an auto-reset event releases one waiter
  return WAIT_OBJECT_0;
}

// Critical sections are recursive for their owner, as on Windows.
void InitializeCriticalSection(LPCRITICAL_SECTION cs) { W32_CALL; cs->impl = new std::recursive_mutex; }
void EnterCriticalSection(LPCRITICAL_SECTION cs) {
  W32_CALL;
  auto *section = static_cast<std::recursive_mutex *>(cs->impl);
  if (section->try_lock()) return;
  sectionWaiters++;
  section->lock();
  sectionWaiters--;
}
void LeaveCriticalSection(LPCRITICAL_SECTION cs) { W32_CALL; static_cast<std::recursive_mutex *>(cs->impl)->unlock(); }
void DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  W32_CALL;
  delete static_cast<std::recursive_mutex *>(cs->impl);
  cs->impl = nullptr;
}

void *InterlockedExchangePointer(void *volatile *target, void *value) {
  W32_CALL;
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
void *InterlockedCompareExchangePointer(void *volatile *target, void *exchange, void *comparand) {
  W32_CALL;
  __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}
