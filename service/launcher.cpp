// The body of the service: the two stop events, the kernel's command line and
// working directory, the kernel's start, and the wait for the stop.
#include <stdio.h>
#include <string.h>

#include "service.h"

std::atomic<HANDLE> hServerStopEvent{NULL};
std::atomic<HANDLE> hRovanStopEvent{NULL};

// Closing SERVICESTOP and setting it from the stop thread must not overlap,
// or the stop could act on a handle value that is already closed (or reused).
static CRITICAL_SECTION csEvents;
static struct EventsLock {
  EventsLock() { InitializeCriticalSection(&csEvents); }
} eventsLock;

// A start that fails is not a stop: it leaves an error event, so that the
// final stopped report carries the code, and in debug mode the same text on
// the console. The code is also returned for ServiceStart's own stopped
// report: one made with 0 would tell whoever polls the service that all went
// well.
static DWORD StartFailed(LPCSTR lpszMsg) {
  DWORD dwCode = GetLastError();
  if (bDebug) {
    printf("%s error: %d\n%s\n", SZSERVICENAME, (int)dwCode, lpszMsg);
    fflush(stdout);
    return dwCode;
  }
  SetLastError(dwCode);
  AddToMessageLog(lpszMsg);
  return dwCode;
}

void KernelDirectory(LPSTR path) {
  size_t len = strlen(path);
  // A path registered in quotes (because it has a blank) is taken from inside
  // its quotes; a lone opening quote is left as it is.
  if (len > 0 && path[0] == '"') {
    char *close = strchr(path + 1, '"');
    if (close != NULL) {
      len = (size_t)(close - path - 1);
      memmove(path, path + 1, len);
      path[len] = 0;
    }
  }
  for (size_t i = len; i > 0; i--) {
    if (path[i - 1] == '\\') {
      path[i - 1] = 0;
      break;
    }
  }
}

// Appends text to cmd (holding *used characters); 0 when it fits.
static int Append(LPSTR cmd, DWORD size, DWORD *used, LPCSTR text) {
  size_t n = strlen(text);
  if (n >= size - *used) return 1;
  memcpy(cmd + *used, text, n + 1);
  *used += (DWORD)n;
  return 0;
}

int KernelCommandLine(LPSTR cmd, DWORD size, DWORD dwArgc, LPSTR *lpszArgv, BOOL debug, LPCSTR params) {
  DWORD used = 0;
  int tooLong = 0;

  if (size == 0) return 1;
  cmd[0] = 0;
  tooLong |= Append(cmd, size, &used, KERNEL_PREFIX);
  if (dwArgc == 1) {
    tooLong |= Append(cmd, size, &used, params[0] ? params : "1");
  } else {
    for (DWORD i = debug ? 2 : 1; i < dwArgc && !tooLong; i++) {
      tooLong |= Append(cmd, size, &used, lpszArgv[i]);
      tooLong |= Append(cmd, size, &used, " ");
    }
  }
  // Never a shortened line: the kernel would run with parameters nobody gave.
  if (tooLong) cmd[0] = 0;
  return tooLong;
}

void ServiceStart(DWORD dwArgc, LPSTR *lpszArgv) {
  char szParams[KERNEL_BUF];
  char szDir[KERNEL_BUF];
  char szCmd[KERNEL_BUF];
  HANDLE hEvent;
  DWORD dwStartErr = NO_ERROR;

  if (!ReportStatusToSCMgr(SERVICE_START_PENDING, NO_ERROR, 3000)) goto cleanup;

  hEvent = CreateEventA(NULL, TRUE, FALSE, "SERVICESTOP");
  hServerStopEvent = hEvent;
  if (hEvent == NULL) {
    dwStartErr = StartFailed("CreateEvent SERVICESTOP failed.");
    goto cleanup;
  }

  hEvent = CreateEventA(NULL, TRUE, FALSE, "ROVANSTOP");
  hRovanStopEvent = hEvent;
  if (hEvent == NULL) {
    dwStartErr = StartFailed("CreateEvent ROVANSTOP failed.");
    goto cleanup;
  }

  if (!ReportStatusToSCMgr(SERVICE_START_PENDING, NO_ERROR, 3000)) goto cleanup;

  if (bDebug) {
    printf("Service Start: argc %d argv ", (int)dwArgc);
    switch (dwArgc) {
      case 2:
        printf("[%s] [%s]\n", lpszArgv[0], lpszArgv[1]);
        break;
      case 3:
        printf("[%s] [%s] [%s]\n", lpszArgv[0], lpszArgv[1], lpszArgv[2]);
        break;
      case 4:
        printf("[%s] [%s] [%s] [%s]\n", lpszArgv[0], lpszArgv[1], lpszArgv[2], lpszArgv[3]);
        break;
    }
  }

  GetImagePath(szDir);
  KernelDirectory(szDir);

  szParams[0] = 0;
  if (dwArgc == 1) GetServiceParams(szParams);
  if (KernelCommandLine(szCmd, sizeof szCmd, dwArgc, lpszArgv, bDebug, szParams)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    dwStartErr = StartFailed("Kernel command line too long.");
    goto cleanup;
  }
  if (bDebug) printf("About to exec: cmd [%s] dir [%s]\n", szCmd, szDir);
  if (bDebug) fflush(stdout);

  if (fileexec(szCmd, szDir)) {
    dwStartErr = StartFailed("CreateProcess failed.");
    goto cleanup;
  }

  if (ReportStatusToSCMgr(SERVICE_RUNNING, NO_ERROR, 0)) WaitForSingleObject(hServerStopEvent, INFINITE);

cleanup:
  EnterCriticalSection(&csEvents);
  hEvent = hServerStopEvent.exchange(NULL);
  if (hEvent) CloseHandle(hEvent);
  LeaveCriticalSection(&csEvents);
  // ROVANSTOP stays open until the process ends: a kernel that has not yet
  // opened it by name still finds it, in the state the stop left it.

  ReportStatusToSCMgr(SERVICE_STOPPED, dwStartErr, 0);
}

void ServiceStop(void) {
  HANDLE hEvent = hRovanStopEvent;
  if (hEvent) SetEvent(hEvent);
  EnterCriticalSection(&csEvents);
  hEvent = hServerStopEvent;
  if (hEvent) SetEvent(hEvent);
  LeaveCriticalSection(&csEvents);
}

int fileexec(LPSTR cmd, LPCSTR dir) {
  STARTUPINFOA si;
  PROCESS_INFORMATION pi;

  GetStartupInfoA(&si);
  memset(&pi, 0, sizeof pi);
  if (!CreateProcessA(NULL, cmd, NULL, NULL, TRUE, CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, NULL, dir, &si,
                      &pi))
    return 1;
  // The kernel opens ROVANSTOP by its name, but may get there only after a
  // quick stop has set it and this process has ended, taking the last handle
  // and the signal with it; the kernel would then wait forever. A handle of
  // its own keeps the event, and its state, for as long as the kernel lives.
  HANDLE hStop = hRovanStopEvent;
  HANDLE hKernelStop;
  if (hStop) DuplicateHandle(GetCurrentProcess(), hStop, pi.hProcess, &hKernelStop, 0, FALSE, DUPLICATE_SAME_ACCESS);
  // The service never watches the kernel.
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 0;
}

// Opens SYSTEM\CurrentControlSet\Services\ROVAN[\Parameters] one key at a
// time and reads one value as text into buf (KERNEL_BUF bytes).
static LONG ReadServiceValue(LPSTR buf, int withParameters, LPCSTR valueName) {
  static const char *const path[] = {"SYSTEM", "CurrentControlSet", "Services", SZSERVICENAME, "Parameters"};
  int depth = withParameters ? 5 : 4;
  HKEY keys[5];
  HKEY parent = HKEY_LOCAL_MACHINE;
  int opened = 0;
  LONG rc = ERROR_SUCCESS;
  DWORD dwType = REG_NONE;
  DWORD dwSize = KERNEL_BUF;

  buf[0] = 0;
  while (opened < depth) {
    rc = RegOpenKeyExA(parent, path[opened], 0, KEY_READ, &keys[opened]);
    if (rc != ERROR_SUCCESS) break;
    parent = keys[opened++];
  }

  if (rc == ERROR_SUCCESS) {
    rc = RegQueryValueExA(parent, valueName, NULL, &dwType, (LPBYTE)buf, &dwSize);
    // Only a string that fits with its terminator is text; anything else
    // reads as absent, never as bytes beyond what the registry delivered.
    if (rc == ERROR_SUCCESS && dwType != REG_SZ && dwType != REG_EXPAND_SZ) rc = ERROR_INVALID_DATA;
    if (rc == ERROR_SUCCESS && dwSize > 0 && buf[dwSize - 1] != 0) {
      if (dwSize < KERNEL_BUF)
        buf[dwSize] = 0;
      else
        rc = ERROR_MORE_DATA;
    }
    if (rc == ERROR_SUCCESS && dwSize == 0) buf[0] = 0;
    if (rc != ERROR_SUCCESS) buf[0] = 0;
  }

  while (opened > 0) RegCloseKey(keys[--opened]);
  return rc;
}

LONG GetImagePath(LPSTR buf) { return ReadServiceValue(buf, 0, "ImagePath"); }

LONG GetServiceParams(LPSTR buf) { return ReadServiceValue(buf, 1, "AppParameters"); }
