#pragma once
#include <string>
#include <vector>
#include <windows.h>

namespace w32fake {
// The next call of this function (by its Windows name, e.g. "SetServiceStatus",
// "OpenSCManagerA", "RegisterEventSourceA") fails with this code, after `skip`
// calls that succeed. Several failures of one function queue up in order.
void FailCall(const std::string &function, DWORD error, int skip = 0);

// The service control manager's table.
struct ServiceEntry {
  std::string name, displayName, binaryPath, dependencies;
  DWORD access, type, startType, errorControl;
  bool hadLoadOrderGroup, hadTagId, hadAccount, hadPassword;
  DWORD state;
};
// A service that exists already, in the given state.
void AddService(const std::string &name, DWORD state);
// false when there is no such service (never made, or deleted).
bool FindService(const std::string &name, ServiceEntry *entry);
// The states QueryServiceStatus reports, one per call; the last one stays.
void ScriptServiceStates(const std::string &name, const std::vector<DWORD> &states);
// Manager and service handles not yet closed.
int OpenServiceHandleCount();

// The next StartServiceCtrlDispatcherA acts as if the service control
// manager had started the program: it runs the first entry's service main on
// a thread of its own with the vector {name, startParameters...}, delivers the
// queued controls on the calling thread, and returns when the service main
// has returned. Without it the call fails with 1063, as from a console.
void StartAsService(const std::vector<std::string> &startParameters);
// Delivered once the service has reported this state (in a report after the
// one that released the control queued before it), or, for state 0, as soon
// as the service has registered its handler. A stop is refused, as by the
// service control manager, when that report does not accept it.
void QueueControl(DWORD control, DWORD whenState);
// A control sent now, while the service runs, as `sc` would send it: judged
// by the last report, delivered on the dispatcher's thread.
void RequestControl(DWORD control);
// Queued and requested controls that the dispatcher has delivered (the
// handler has returned) or refused.
int ControlsAnswered();
struct ControlDelivery {
  DWORD control;
  bool delivered;  // to the handler, on the dispatcher's calling thread
};
std::vector<ControlDelivery> Controls();
std::vector<SERVICE_STATUS> StatusReports();
bool ServiceMainRanOnOwnThread();
// Blocks until some report has this state; false after the time-out.
bool WaitForReportedState(DWORD state, int timeoutMs);

// The event log.
struct LoggedEvent {
  std::string source;
  WORD type, category;
  DWORD eventId;
  bool hadUserSid;
  DWORD dataSize;
  std::vector<std::string> strings;
};
std::vector<LoggedEvent> Events();
int OpenEventSourceCount();

// Console control handling: the handlers added, and a console event
// delivered as Windows does, on a thread of its own, to the handlers from the
// last added on until one returns TRUE. Returns whether one did.
int ConsoleHandlerCount();
BOOL DeliverConsoleCtrl(DWORD ctrlType);
}  // namespace w32fake
