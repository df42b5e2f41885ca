// The setup program's shared state and functions. The program is one thread:
// WinMain, then the SETUP dialog, inside whose procedure everything else runs.
#pragma once
#include <windows.h>

// Start-up and command line.
extern int argc;
extern char *argv[3];
extern HINSTANCE hInst;
extern int uninst;
extern char dir[256];
extern HCURSOR hNewCursor;
int SetupStart(HINSTANCE instance, LPSTR cmdTail);  // the body of WinMain
int EnterDialogBox(void);

// The SETUP dialog, its log and prompts.
extern HWND hList;
extern OSVERSIONINFOA version;
extern int platform;
extern int installed;
extern char buf[1024];
INT_PTR CALLBACK MyDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HelpDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
int EnterDialogBoxHelp(void);
int CenterWindow(HWND window);
int kprintf(const char *format, ...);

// The install and uninstall job.
extern char cur_dir[1024];
extern char win_dir[1024];
extern char sys_dir[1024];
extern char tmp[1024];
extern HCURSOR hOldCursor;
void RunJob(void);  // the first OK in the SETUP dialog
int exec(char *cmdLine);

// Packet driver detection.
LONG CheckQuibex(void);
int CheckQuibex95(const char *name);

// Network binding report. The sizes are those of the buffers written to: a
// report ends at its last whole line that fits.
int GetConf(char *out, DWORD outSize);
LONG GetTcpipLinkageNT(char *list, DWORD *delivered);  // list: at least 128 bytes
int GetNamesAndNetKeys(char *out, DWORD outSize);
LONG Enum95(char *name, DWORD nameSize, DWORD index);
LONG FindNet95(HKEY parent, const char *name, char *report, DWORD reportSize);
