// The service control manager, the event log and console control handling of
// our Win32 layer. The dispatcher runs the service main on a thread of its own
// and delivers controls on the calling thread, as Windows does, so that the
// service's two threads really meet.
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <cstring>
#include <thread>
#include <w32fake.h>

#include "handles.h"

namespace {
struct Failure {
  DWORD error;
  int skip;
};
struct Queued {
  DWORD control, whenState;
};
const DWORD kNow = 0xFFFFFFFF;  // whenState of RequestControl

std::mutex mutex;
std::condition_variable reported;
std::map<std::string, std::deque<Failure>> failures;
std::map<std::string, w32fake::ServiceEntry> services;  // by lower-case name
std::map<std::string, std::deque<DWORD>> scriptedStates;
std::map<uintptr_t, std::string> scHandles;  // manager: empty name
uintptr_t nextHandle = 0x4000;

bool asService;
std::vector<std::string> startParameters;
std::deque<Queued> queued;
std::vector<w32fake::ControlDelivery> controls;
int answered;
std::vector<SERVICE_STATUS> reports;
std::string dispatchedName;  // while a dispatcher runs
LPHANDLER_FUNCTION handler;
SERVICE_STATUS_HANDLE statusHandle;
std::thread::id dispatcherThread, serviceThread;

std::map<uintptr_t, std::string> eventSources;
std::vector<w32fake::LoggedEvent> events;
std::vector<PHANDLER_ROUTINE> consoleHandlers;

std::string Lower(std::string s) {
  for (auto &c : s) c = (char)std::tolower((unsigned char)c);
  return s;
}

// Called with the lock held: whether this call of function is to fail.
bool Fails(const char *function) {
  auto it = failures.find(function);
  if (it == failures.end() || it->second.empty()) return false;
  Failure &f = it->second.front();
  if (f.skip > 0) {
    f.skip--;
    return false;
  }
  SetLastError(f.error);
  it->second.pop_front();
  return true;
}

uintptr_t NewHandle(const std::string &service) {
  nextHandle += 4;
  scHandles[nextHandle] = service;
  return nextHandle;
}

void FillStatus(const w32fake::ServiceEntry &e, LPSERVICE_STATUS status) {
  if (!status) return;
  std::memset(status, 0, sizeof *status);
  status->dwServiceType = e.type;
  status->dwCurrentState = e.state;
  status->dwControlsAccepted = e.state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
}

// The service a handle was opened on; null (and the error set) when the
// handle is not an open service handle.
w32fake::ServiceEntry *ServiceOf(SC_HANDLE h) {
  auto it = scHandles.find(reinterpret_cast<uintptr_t>(h));
  if (it == scHandles.end() || it->second.empty()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  auto s = services.find(it->second);
  if (s == services.end()) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return nullptr;
  }
  return &s->second;
}
}  // namespace

namespace w32fake {
void FailCall(const std::string &function, DWORD error, int skip) {
  std::lock_guard<std::mutex> lock(mutex);
  failures[function].push_back({error, skip});
}
void AddService(const std::string &name, DWORD state) {
  std::lock_guard<std::mutex> lock(mutex);
  ServiceEntry e{};
  e.name = e.displayName = name;
  e.type = SERVICE_WIN32_OWN_PROCESS;
  e.startType = SERVICE_DEMAND_START;
  e.state = state;
  services[Lower(name)] = e;
}
bool FindService(const std::string &name, ServiceEntry *entry) {
  std::lock_guard<std::mutex> lock(mutex);
  auto it = services.find(Lower(name));
  if (it == services.end()) return false;
  if (entry) *entry = it->second;
  return true;
}
void ScriptServiceStates(const std::string &name, const std::vector<DWORD> &states) {
  std::lock_guard<std::mutex> lock(mutex);
  scriptedStates[Lower(name)].assign(states.begin(), states.end());
}
int OpenServiceHandleCount() {
  std::lock_guard<std::mutex> lock(mutex);
  return (int)scHandles.size();
}
void StartAsService(const std::vector<std::string> &parameters) {
  std::lock_guard<std::mutex> lock(mutex);
  asService = true;
  startParameters = parameters;
}
void QueueControl(DWORD control, DWORD whenState) {
  std::lock_guard<std::mutex> lock(mutex);
  queued.push_back({control, whenState});
  reported.notify_all();
}
void RequestControl(DWORD control) { QueueControl(control, kNow); }
int ControlsAnswered() {
  std::lock_guard<std::mutex> lock(mutex);
  return answered;
}
std::vector<ControlDelivery> Controls() {
  std::lock_guard<std::mutex> lock(mutex);
  return controls;
}
std::vector<SERVICE_STATUS> StatusReports() {
  std::lock_guard<std::mutex> lock(mutex);
  return reports;
}
bool ServiceMainRanOnOwnThread() {
  std::lock_guard<std::mutex> lock(mutex);
  return serviceThread != std::thread::id() && serviceThread != dispatcherThread;
}
bool WaitForReportedState(DWORD state, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex);
  return reported.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    for (auto &r : reports)
      if (r.dwCurrentState == state) return true;
    return false;
  });
}
std::vector<LoggedEvent> Events() {
  std::lock_guard<std::mutex> lock(mutex);
  return events;
}
int OpenEventSourceCount() {
  std::lock_guard<std::mutex> lock(mutex);
  return (int)eventSources.size();
}
int ConsoleHandlerCount() {
  std::lock_guard<std::mutex> lock(mutex);
  return (int)consoleHandlers.size();
}
BOOL DeliverConsoleCtrl(DWORD ctrlType) {
  std::vector<PHANDLER_ROUTINE> list;
  {
    std::lock_guard<std::mutex> lock(mutex);
    list = consoleHandlers;
  }
  BOOL handled = FALSE;
  std::thread console([&] {
    for (auto it = list.rbegin(); it != list.rend() && !handled; ++it) handled = (*it)(ctrlType);
  });
  console.join();
  return handled;
}
namespace detail {
void ResetService() {
  std::lock_guard<std::mutex> lock(mutex);
  failures.clear();
  services.clear();
  scriptedStates.clear();
  scHandles.clear();
  asService = false;
  startParameters.clear();
  queued.clear();
  controls.clear();
  answered = 0;
  reports.clear();
  dispatchedName.clear();
  handler = nullptr;
  statusHandle = nullptr;
  dispatcherThread = serviceThread = std::thread::id();
  eventSources.clear();
  events.clear();
  consoleHandlers.clear();
}
}  // namespace detail
}  // namespace w32fake

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA *table) {
  W32_CALL;
  std::vector<std::string> args;
  LPSERVICE_MAIN_FUNCTIONA serviceMain;
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (Fails("StartServiceCtrlDispatcherA")) return FALSE;
    if (!asService) {
      SetLastError(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
      return FALSE;
    }
    if (table == nullptr || table[0].lpServiceName == nullptr || table[0].lpServiceProc == nullptr) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    asService = false;
    dispatchedName = table[0].lpServiceName;
    serviceMain = table[0].lpServiceProc;
    args.push_back(dispatchedName);
    args.insert(args.end(), startParameters.begin(), startParameters.end());
    dispatcherThread = std::this_thread::get_id();
  }
  std::vector<LPSTR> argv;
  for (auto &a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  bool done = false;  // guarded by mutex
  std::thread service([&] {
    {
      std::lock_guard<std::mutex> lock(mutex);
      serviceThread = std::this_thread::get_id();
    }
    serviceMain((DWORD)args.size(), argv.data());
    std::lock_guard<std::mutex> lock(mutex);
    done = true;
    reported.notify_all();
  });

  size_t searchFrom = 0;
  for (;;) {
    std::unique_lock<std::mutex> lock(mutex);
    // A control can be requested for as long as the service runs.
    reported.wait(lock, [&] { return !queued.empty() || done; });
    if (queued.empty()) break;
    Queued q = queued.front();
    queued.pop_front();
    bool now = q.whenState == kNow;
    size_t at = reports.size();
    bool reached = now || reported.wait_for(lock, std::chrono::seconds(10), [&] {
      if (q.whenState == 0) return handler != nullptr || done;
      for (at = searchFrom; at < reports.size(); at++)
        if (reports[at].dwCurrentState == q.whenState) return true;
      return done;
    });
    bool byState = q.whenState != 0 && !now;
    if (byState) reached = at < reports.size();
    bool accepted = true;
    if (q.control == SERVICE_CONTROL_STOP) {
      const SERVICE_STATUS *seen = byState && reached ? &reports[at] : reports.empty() ? nullptr : &reports.back();
      accepted = seen != nullptr && (seen->dwControlsAccepted & SERVICE_ACCEPT_STOP);
    }
    LPHANDLER_FUNCTION h = handler;
    bool deliver = reached && accepted && h != nullptr && !done;
    controls.push_back({q.control, deliver});
    if (reached && byState) searchFrom = at + 1;
    lock.unlock();
    if (deliver) {
      w32fake::detail::CallOut program;
      h(q.control);
    }
    lock.lock();
    answered++;
  }
  service.join();
  std::lock_guard<std::mutex> lock(mutex);
  dispatchedName.clear();
  handler = nullptr;
  return TRUE;
}

SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(LPCSTR name, LPHANDLER_FUNCTION h) {
  W32_CALL;
  std::lock_guard<std::mutex> lock(mutex);
  if (Fails("RegisterServiceCtrlHandlerA")) return nullptr;
  if (dispatchedName.empty() || name == nullptr || Lower(name) != Lower(dispatchedName)) {
    SetLastError(ERROR_SERVICE_NOT_IN_EXE);
    return nullptr;
  }
  handler = h;
  statusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(uintptr_t(0x5000));
  return statusHandle;
}

BOOL SetServiceStatus(SERVICE_STATUS_HANDLE h, LPSERVICE_STATUS status) {
  W32_CALL;
  std::lock_guard<std::mutex> lock(mutex);
  if (h == nullptr || h != statusHandle) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (status == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (status->dwCurrentState < SERVICE_STOPPED || status->dwCurrentState > 7) {  // 7: paused
    SetLastError(ERROR_INVALID_DATA);
    return FALSE;
  }
  if (Fails("SetServiceStatus")) return FALSE;
  reports.push_back(*status);
  reported.notify_all();
  return TRUE;
}

SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access) {
  W32_CALL;
  (void)machine;
  (void)database;
  (void)access;
  std::lock_guard<std::mutex> lock(mutex);
  if (Fails("OpenSCManagerA")) return nullptr;
  return reinterpret_cast<SC_HANDLE>(NewHandle(""));
}

static bool IsManager(SC_HANDLE h) {
  auto it = scHandles.find(reinterpret_cast<uintptr_t>(h));
  if (it != scHandles.end() && it->second.empty()) return true;
  SetLastError(ERROR_INVALID_HANDLE);
  return false;
}

SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD type,
                         DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR dependencies, LPCSTR account, LPCSTR password) {
  W32_CALL;
  std::string key;
  w32fake::ServiceEntry e{};
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (!IsManager(manager)) return nullptr;
    if (name == nullptr || *name == 0 || binaryPath == nullptr) {
      SetLastError(name == nullptr || *name == 0 ? ERROR_INVALID_NAME : ERROR_INVALID_PARAMETER);
      return nullptr;
    }
    if (Fails("CreateServiceA")) return nullptr;
    key = Lower(name);
    if (services.count(key)) {
      SetLastError(ERROR_SERVICE_EXISTS);
      return nullptr;
    }
    e.name = name;
    e.displayName = displayName ? displayName : name;
    e.binaryPath = binaryPath;
    e.dependencies = dependencies ? dependencies : "";
    e.access = access;
    e.type = type;
    e.startType = startType;
    e.errorControl = errorControl;
    e.hadLoadOrderGroup = loadOrderGroup != nullptr;
    e.hadTagId = tagId != nullptr;
    e.hadAccount = account != nullptr;
    e.hadPassword = password != nullptr;
    e.state = SERVICE_STOPPED;
    services[key] = e;
  }
  // The service control manager keeps the path where the service reads it.
  std::string bytes = e.binaryPath;
  bytes.push_back('\0');
  w32fake::RegSetValue("SYSTEM\\CurrentControlSet\\Services\\" + e.name, "ImagePath", REG_EXPAND_SZ, bytes);
  std::lock_guard<std::mutex> lock(mutex);
  return reinterpret_cast<SC_HANDLE>(NewHandle(key));
}

SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access) {
  W32_CALL;
  (void)access;
  std::lock_guard<std::mutex> lock(mutex);
  if (!IsManager(manager)) return nullptr;
  if (Fails("OpenServiceA")) return nullptr;
  if (name == nullptr || !services.count(Lower(name))) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  return reinterpret_cast<SC_HANDLE>(NewHandle(Lower(name)));
}

BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  W32_CALL;
  std::lock_guard<std::mutex> lock(mutex);
  w32fake::ServiceEntry *e = ServiceOf(service);
  if (e == nullptr) return FALSE;
  if (Fails("ControlService")) return FALSE;
  if (e->state == SERVICE_STOPPED) {
    SetLastError(ERROR_SERVICE_NOT_ACTIVE);
    return FALSE;
  }
  if (control == SERVICE_CONTROL_STOP) {
    if (e->state != SERVICE_RUNNING) {
      SetLastError(ERROR_INVALID_SERVICE_CONTROL);
      return FALSE;
    }
    e->state = SERVICE_STOP_PENDING;
  }
  FillStatus(*e, status);
  return TRUE;
}

BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  W32_CALL;
  std::lock_guard<std::mutex> lock(mutex);
  w32fake::ServiceEntry *e = ServiceOf(service);
  if (e == nullptr) return FALSE;
  if (Fails("QueryServiceStatus")) return FALSE;
  auto &script = scriptedStates[Lower(e->name)];
  if (!script.empty()) {
    e->state = script.front();
    if (script.size() > 1) script.pop_front();
  }
  FillStatus(*e, status);
  return TRUE;
}

BOOL DeleteService(SC_HANDLE service) {
  W32_CALL;
  std::lock_guard<std::mutex> lock(mutex);
  w32fake::ServiceEntry *e = ServiceOf(service);
  if (e == nullptr) return FALSE;
  if (Fails("DeleteService")) return FALSE;
  services.erase(Lower(e->name));
  return TRUE;
}

BOOL CloseServiceHandle(SC_HANDLE h) {
  W32_CALL;
  std::lock_guard<std::mutex> lock(mutex);
  if (scHandles.erase(reinterpret_cast<uintptr_t>(h)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

HANDLE RegisterEventSourceA(LPCSTR server, LPCSTR source) {
  W32_CALL;
  (void)server;
  std::lock_guard<std::mutex> lock(mutex);
  if (Fails("RegisterEventSourceA")) return nullptr;
  nextHandle += 4;
  eventSources[nextHandle] = source ? source : "";
  return reinterpret_cast<HANDLE>(nextHandle);
}

BOOL ReportEventA(HANDLE source, WORD type, WORD category, DWORD eventId, PSID user, WORD numStrings,
                  DWORD dataSize, LPCSTR *strings, LPVOID rawData) {
  W32_CALL;
  (void)rawData;
  std::lock_guard<std::mutex> lock(mutex);
  auto it = eventSources.find(reinterpret_cast<uintptr_t>(source));
  if (it == eventSources.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  w32fake::LoggedEvent e{it->second, type, category, eventId, user != nullptr, dataSize, {}};
  for (WORD i = 0; i < numStrings; i++) e.strings.push_back(strings[i] ? strings[i] : "");
  events.push_back(e);
  return TRUE;
}

BOOL DeregisterEventSource(HANDLE source) {
  W32_CALL;
  std::lock_guard<std::mutex> lock(mutex);
  if (eventSources.erase(reinterpret_cast<uintptr_t>(source)) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add) {
  W32_CALL;
  std::lock_guard<std::mutex> lock(mutex);
  if (routine == nullptr) return TRUE;  // the ignore-Ctrl+C flag: not needed here
  if (add) {
    consoleHandlers.push_back(routine);
    return TRUE;
  }
  for (auto it = consoleHandlers.begin(); it != consoleHandlers.end(); ++it)
    if (*it == routine) {
      consoleHandlers.erase(it);
      return TRUE;
    }
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}
