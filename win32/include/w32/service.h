// The service control manager, the event log and console control handling.
#pragma once
#include "base.h"

typedef struct SC_HANDLE__ *SC_HANDLE;
typedef struct SERVICE_STATUS_HANDLE__ *SERVICE_STATUS_HANDLE;

typedef struct _SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

typedef void(WINAPI *LPSERVICE_MAIN_FUNCTIONA)(DWORD argc, LPSTR *argv);
typedef void(WINAPI *LPHANDLER_FUNCTION)(DWORD control);
typedef struct _SERVICE_TABLE_ENTRYA {
  LPSTR lpServiceName;
  LPSERVICE_MAIN_FUNCTIONA lpServiceProc;
} SERVICE_TABLE_ENTRYA;

#define SERVICE_WIN32_OWN_PROCESS 0x00000010
#define SERVICE_DEMAND_START 0x00000003
#define SERVICE_ERROR_NORMAL 0x00000001

#define SERVICE_STOPPED 0x00000001
#define SERVICE_START_PENDING 0x00000002
#define SERVICE_STOP_PENDING 0x00000003
#define SERVICE_RUNNING 0x00000004

#define SERVICE_ACCEPT_STOP 0x00000001
#define SERVICE_CONTROL_STOP 0x00000001
#define SERVICE_CONTROL_INTERROGATE 0x00000004

#define SC_MANAGER_ALL_ACCESS 0xF003F
#define SERVICE_ALL_ACCESS 0xF01FF

BOOL StartServiceCtrlDispatcherA(const SERVICE_TABLE_ENTRYA *table);
SERVICE_STATUS_HANDLE RegisterServiceCtrlHandlerA(LPCSTR name, LPHANDLER_FUNCTION handler);
BOOL SetServiceStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status);
SC_HANDLE OpenSCManagerA(LPCSTR machine, LPCSTR database, DWORD access);
SC_HANDLE CreateServiceA(SC_HANDLE manager, LPCSTR name, LPCSTR displayName, DWORD access, DWORD type,
                         DWORD startType, DWORD errorControl, LPCSTR binaryPath, LPCSTR loadOrderGroup,
                         LPDWORD tagId, LPCSTR dependencies, LPCSTR account, LPCSTR password);
SC_HANDLE OpenServiceA(SC_HANDLE manager, LPCSTR name, DWORD access);
BOOL ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
BOOL QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
BOOL DeleteService(SC_HANDLE service);
BOOL CloseServiceHandle(SC_HANDLE handle);

#define EVENTLOG_ERROR_TYPE 0x0001
typedef void *PSID;
HANDLE RegisterEventSourceA(LPCSTR server, LPCSTR source);
BOOL ReportEventA(HANDLE source, WORD type, WORD category, DWORD eventId, PSID user, WORD numStrings,
                  DWORD dataSize, LPCSTR *strings, LPVOID rawData);
BOOL DeregisterEventSource(HANDLE source);

#define CTRL_C_EVENT 0
#define CTRL_BREAK_EVENT 1
#define CTRL_CLOSE_EVENT 2
#define CTRL_LOGOFF_EVENT 5
#define CTRL_SHUTDOWN_EVENT 6
typedef BOOL(WINAPI *PHANDLER_ROUTINE)(DWORD ctrlType);
BOOL SetConsoleCtrlHandler(PHANDLER_ROUTINE handler, BOOL add);
