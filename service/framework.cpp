// The frame of the service program: its switches, its registration with the
// service control manager, the console debug mode, status reports and the
// error events.
#include <stdio.h>
#include <string.h>

#include "service.h"

BOOL bDebug = FALSE;
SERVICE_STATUS ssStatus;
SERVICE_STATUS_HANDLE sshStatusHandle;
DWORD dwErr = 0;
char szErr[256];

static DWORD dwNextCheckPoint = 1;

// The service thread and the control handler's thread both report; without
// the lock an interrogation could interleave with a report and publish a
// record made of two.
static CRITICAL_SECTION csStatus;
static struct StatusLock {
  StatusLock() { InitializeCriticalSection(&csStatus); }
} statusLock;

void ResetServiceState(void) {
  bDebug = FALSE;
  memset(&ssStatus, 0, sizeof ssStatus);
  sshStatusHandle = NULL;
  dwErr = 0;
  szErr[0] = 0;
  dwNextCheckPoint = 1;
  hServerStopEvent = NULL;
  hRovanStopEvent = NULL;
}

// "-word" or "/word", the word compared whole and without regard to case.
static int IsSwitch(const char *arg, const char *word) {
  if (arg[0] != '-' && arg[0] != '/') return 0;
  for (arg++; *arg && *word; arg++, word++) {
    char c = *arg;
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
    if (c != *word) return 0;
  }
  return *arg == 0 && *word == 0;
}

int ServiceProgram(int argc, char **argv) {
  SERVICE_TABLE_ENTRYA dispatchTable[] = {
      {(LPSTR)SZSERVICENAME, service_main},
      {NULL, NULL},
  };

  if (argc > 1) {
    if (IsSwitch(argv[1], "install")) {
      CmdInstallService();
      return 0;
    }
    if (IsSwitch(argv[1], "remove")) {
      CmdRemoveService();
      return 0;
    }
    if (IsSwitch(argv[1], "debug")) {
      bDebug = TRUE;
      CmdDebugService(argc, argv);
      return 0;
    }
  }

  printf("%s -install          to install the service\n", SZSERVICENAME);
  printf("%s -remove           to remove the service\n", SZSERVICENAME);
  printf("%s -debug [args]+    to run as a console app for debugging\n", SZSERVICENAME);
  printf("\nStartServiceCtrlDispatcher being called.\n");
  printf("This may take several seconds.  Please wait.\n");
  fflush(stdout);

  if (!StartServiceCtrlDispatcherA(dispatchTable)) AddToMessageLog("StartServiceCtrlDispatcher failed.");
  return 0;
}

void WINAPI service_main(DWORD dwArgc, LPSTR *lpszArgv) {
  // A control may come as soon as the handler is registered, before the
  // handle is stored: under the lock, its report waits for the handle rather
  // than failing on a null one.
  EnterCriticalSection(&csStatus);
  sshStatusHandle = RegisterServiceCtrlHandlerA(SZSERVICENAME, service_ctrl);
  if (!sshStatusHandle) {
    LeaveCriticalSection(&csStatus);
    return;
  }
  ssStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  ssStatus.dwServiceSpecificExitCode = 0;
  LeaveCriticalSection(&csStatus);

  if (ReportStatusToSCMgr(SERVICE_START_PENDING, NO_ERROR, 3000)) ServiceStart(dwArgc, lpszArgv);

  EnterCriticalSection(&csStatus);
  ReportStatusToSCMgr(SERVICE_STOPPED, dwErr, 0);
  LeaveCriticalSection(&csStatus);
}

void WINAPI service_ctrl(DWORD dwCtrlCode) {
  if (dwCtrlCode == SERVICE_CONTROL_STOP) {
    ReportStatusToSCMgr(SERVICE_STOP_PENDING, NO_ERROR, 0);
    ServiceStop();
    return;
  }
  // Read and re-reported under the lock, so that a report of the service
  // thread cannot slip in between. Before the first report there is no state
  // to repeat: a state 0 would be refused, and logged as a failure.
  EnterCriticalSection(&csStatus);
  if (ssStatus.dwCurrentState != 0) ReportStatusToSCMgr(ssStatus.dwCurrentState, NO_ERROR, 0);
  LeaveCriticalSection(&csStatus);
}

BOOL ReportStatusToSCMgr(DWORD dwCurrentState, DWORD dwWin32ExitCode, DWORD dwWaitHint) {
  BOOL fResult = TRUE;

  if (bDebug) return TRUE;

  EnterCriticalSection(&csStatus);
  if (dwCurrentState == SERVICE_START_PENDING)
    ssStatus.dwControlsAccepted = 0;
  else
    ssStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP;

  ssStatus.dwCurrentState = dwCurrentState;
  ssStatus.dwWin32ExitCode = dwWin32ExitCode;
  ssStatus.dwWaitHint = dwWaitHint;

  if (dwCurrentState == SERVICE_RUNNING || dwCurrentState == SERVICE_STOPPED)
    ssStatus.dwCheckPoint = 0;
  else
    ssStatus.dwCheckPoint = dwNextCheckPoint++;

  fResult = SetServiceStatus(sshStatusHandle, &ssStatus);
  if (!fResult) AddToMessageLog("SetServiceStatus");
  LeaveCriticalSection(&csStatus);
  return fResult;
}

void AddToMessageLog(LPCSTR lpszMsg) {
  char szMsg[256];
  HANDLE hEventSource;
  LPCSTR lpszStrings[2];

  if (bDebug) return;

  DWORD dwCode = GetLastError();
  // Failures are logged on both threads; service_main reads the code under
  // the same lock.
  EnterCriticalSection(&csStatus);
  dwErr = dwCode;
  LeaveCriticalSection(&csStatus);

  hEventSource = RegisterEventSourceA(NULL, SZSERVICENAME);

  snprintf(szMsg, sizeof szMsg, "%s error: %d", SZSERVICENAME, (int)dwCode);
  lpszStrings[0] = szMsg;
  lpszStrings[1] = lpszMsg;

  if (hEventSource != NULL) {
    ReportEventA(hEventSource, EVENTLOG_ERROR_TYPE, 0, 0, NULL, 2, 0, lpszStrings, NULL);
    DeregisterEventSource(hEventSource);
  }
}

// The service's path for its registration. A path with a blank is quoted:
// unquoted, C:\Program Files\Rovan\service.exe would let the service control
// manager run C:\Program.exe as LocalSystem.
static void QuoteServicePath(LPSTR out, DWORD size, LPCSTR path) {
  if (strchr(path, ' ') != NULL)
    snprintf(out, size, "\"%s\"", path);
  else
    snprintf(out, size, "%s", path);
}

void CmdInstallService(void) {
  SC_HANDLE schService;
  SC_HANDLE schSCManager;
  char szPath[512];
  char szImagePath[512 + 2];
  DWORD n;

  n = GetModuleFileNameA(NULL, szPath, sizeof szPath);
  // A path that filled the buffer was cut; registering it would name some
  // other file.
  if (n >= sizeof szPath) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  if (n == 0 || n >= sizeof szPath) {
    printf("Unable to install %s - %s\n", SZSERVICENAME, GetLastErrorText(szErr, 256));
    return;
  }
  QuoteServicePath(szImagePath, sizeof szImagePath, szPath);

  schSCManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (!schSCManager) {
    printf("OpenSCManager failed - %s\n", GetLastErrorText(szErr, 256));
    return;
  }

  schService = CreateServiceA(schSCManager, SZSERVICENAME, SZSERVICENAME, SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                              szImagePath, NULL, NULL, "", NULL, NULL);
  if (schService) {
    printf("%s installed.\n", SZSERVICENAME);
    CloseServiceHandle(schService);
  } else {
    printf("CreateService failed - %s\n", GetLastErrorText(szErr, 256));
  }

  CloseServiceHandle(schSCManager);
}

void CmdRemoveService(void) {
  SC_HANDLE schService;
  SC_HANDLE schSCManager;

  schSCManager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (!schSCManager) {
    printf("OpenSCManager failed - %s\n", GetLastErrorText(szErr, 256));
    return;
  }

  schService = OpenServiceA(schSCManager, SZSERVICENAME, SERVICE_ALL_ACCESS);
  if (!schService) {
    printf("OpenService failed - %s\n", GetLastErrorText(szErr, 256));
    CloseServiceHandle(schSCManager);
    return;
  }

  if (ControlService(schService, SERVICE_CONTROL_STOP, &ssStatus)) {
    printf("Stopping %s.", SZSERVICENAME);
    fflush(stdout);
    Sleep(1000);

    while (QueryServiceStatus(schService, &ssStatus)) {
      if (ssStatus.dwCurrentState != SERVICE_STOP_PENDING) break;
      printf(".");
      fflush(stdout);
      Sleep(1000);
    }

    if (ssStatus.dwCurrentState == SERVICE_STOPPED)
      printf("\n%s stopped.\n", SZSERVICENAME);
    else
      printf("\n%s failed to stop.\n", SZSERVICENAME);
  }

  if (DeleteService(schService))
    printf("%s removed.\n", SZSERVICENAME);
  else
    printf("DeleteService failed - %s\n", GetLastErrorText(szErr, 256));

  CloseServiceHandle(schService);
  CloseServiceHandle(schSCManager);
}

void CmdDebugService(int argc, char **argv) {
  printf("Debugging %s (CTRL-C exits)\n", SZSERVICENAME);
  fflush(stdout);
  SetConsoleCtrlHandler(ControlHandler, TRUE);
  ServiceStart((DWORD)argc, argv);
}

BOOL WINAPI ControlHandler(DWORD dwCtrlType) {
  switch (dwCtrlType) {
    case CTRL_BREAK_EVENT:
    case CTRL_C_EVENT:
      printf("Stopping %s.\n", SZSERVICENAME);
      fflush(stdout);
      ServiceStop();
      return TRUE;
  }
  return FALSE;
}

LPSTR GetLastErrorText(LPSTR lpszBuf, DWORD dwSize) {
  DWORD dwCode = GetLastError();
  DWORD dwRet;
  LPSTR lpszTemp = NULL;

  dwRet = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                         NULL, dwCode, 0, (LPSTR)&lpszTemp, 0, NULL);

  if (!dwRet || (long)dwSize < (long)dwRet + 14) {
    if (dwSize > 0) lpszBuf[0] = 0;  // a buffer of no size has no room even for the NUL
  } else {
    // Cut the line end that closes system texts: at most the two characters
    // CR LF, and only those, so that a text shorter than two characters, or
    // one without a line end, loses nothing it has.
    DWORD n = dwRet;
    if (n > 0 && lpszTemp[n - 1] == '\n') n--;
    if (n > 0 && lpszTemp[n - 1] == '\r') n--;
    snprintf(lpszBuf, dwSize, "%.*s (0x%x)", (int)n, lpszTemp, (unsigned)dwCode);
  }

  if (lpszTemp) LocalFree((HLOCAL)lpszTemp);

  return lpszBuf;
}
