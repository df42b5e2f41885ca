// The benchmark's reference: the least a service can do. It reports running
// at once and stopped as soon as the stop control arrives.
//   refservice -install   registers it as the service RovanRef
//   refservice            (started by the service control manager)
#include <windows.h>

#include <stdio.h>

static SERVICE_STATUS_HANDLE handle;
static SERVICE_STATUS status;
static HANDLE stopped;

static void Report(DWORD state) {
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
  SetServiceStatus(handle, &status);
}

static void WINAPI Control(DWORD code) {
  if (code == SERVICE_CONTROL_STOP) SetEvent(stopped);
}

static void WINAPI Main(DWORD, LPSTR *) {
  handle = RegisterServiceCtrlHandlerA("RovanRef", Control);
  if (!handle) return;
  stopped = CreateEventA(NULL, TRUE, FALSE, NULL);
  Report(SERVICE_RUNNING);
  WaitForSingleObject(stopped, INFINITE);
  Report(SERVICE_STOPPED);
}

int main(int argc, char **argv) {
  if (argc > 1 && lstrcmpiA(argv[1], "-install") == 0) {
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    SC_HANDLE scm = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    SC_HANDLE svc = scm ? CreateServiceA(scm, "RovanRef", "RovanRef", SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                         SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, path, NULL, NULL, "", NULL, NULL)
                        : NULL;
    printf(svc ? "installed\n" : "install failed %lu\n", GetLastError());
    if (svc) CloseServiceHandle(svc);
    if (scm) CloseServiceHandle(scm);
    return svc ? 0 : 1;
  }
  SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "RovanRef", Main}, {NULL, NULL}};
  return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
