// The ROVAN service host: an NT service (and a console program for
// debugging) that runs the ROVAN kernel, qor.dll, under rundll32.
#pragma once
#include <atomic>
#include <windows.h>

// One name everywhere: service, display name, event source, messages.
#define SZSERVICENAME "ROVAN"

// The kernel's command line begins with this; its parameters follow.
#define KERNEL_PREFIX "rundll32 qor.dll,QOR "
// Size of the working buffers of ServiceStart and the registry readers.
#define KERNEL_BUF 1024

// framework.cpp
extern BOOL bDebug;
extern SERVICE_STATUS ssStatus;
extern SERVICE_STATUS_HANDLE sshStatusHandle;
extern DWORD dwErr;
extern char szErr[256];

int ServiceProgram(int argc, char **argv);
void WINAPI service_main(DWORD dwArgc, LPSTR *lpszArgv);
void WINAPI service_ctrl(DWORD dwCtrlCode);
BOOL ReportStatusToSCMgr(DWORD dwCurrentState, DWORD dwWin32ExitCode, DWORD dwWaitHint);
void AddToMessageLog(LPCSTR lpszMsg);
void CmdInstallService(void);
void CmdRemoveService(void);
void CmdDebugService(int argc, char **argv);
BOOL WINAPI ControlHandler(DWORD dwCtrlType);
LPSTR GetLastErrorText(LPSTR lpszBuf, DWORD dwSize);
// Back to the state of a fresh process, so that one test process can play
// several runs of the program.
void ResetServiceState(void);

// launcher.cpp
// Written by the service thread, read by the thread that delivers the stop:
// atomic so that the reader sees a whole handle or null.
extern std::atomic<HANDLE> hServerStopEvent;
extern std::atomic<HANDLE> hRovanStopEvent;

void ServiceStart(DWORD dwArgc, LPSTR *lpszArgv);
void ServiceStop(void);
int fileexec(LPSTR cmd, LPCSTR dir);
LONG GetImagePath(LPSTR buf);
LONG GetServiceParams(LPSTR buf);
// The kernel's working directory from an ImagePath text, cut in place.
void KernelDirectory(LPSTR path);
// The kernel's command line into cmd (size bytes): 0 when it fits, else
// nonzero with cmd left empty.
int KernelCommandLine(LPSTR cmd, DWORD size, DWORD dwArgc, LPSTR *lpszArgv, BOOL debug, LPCSTR params);
