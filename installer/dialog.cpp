// The SETUP dialog with its log, the HELP page, and the message box through
// which the installer reports errors and asks for consent.
#include <stdarg.h>
#include <stdio.h>

#include "resource.h"
#include "setup.h"

HWND hList;
OSVERSIONINFOA version;
int platform;
int installed;
char buf[1024];

static const char msg1[] = "ROVAN Setup Log";
static const char msg2[] = "===============";
static const char msg3[] = "Target directory: C:\\";
static const char msg4[] = "Click OK to start, Cancel to exit...";
static const char msg5[] = "Click OK to UNINSTALL ROVAN, Cancel to exit...";

static void AddLogLine(const char *line) { SendMessageA(hList, LB_ADDSTRING, 0, (LPARAM)line); }

static void PrepareSetupDialog(HWND dialog) {
  version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  if (GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT) platform = 1;
  CenterWindow(dialog);
  hList = GetDlgItem(dialog, ID_LOG);
  SendMessageA(hList, LB_SETHORIZONTALEXTENT, 800, 0);
  AddLogLine(msg1);
  AddLogLine(msg2);
  if (uninst) {
    AddLogLine(msg5);
  } else {
    snprintf(buf, sizeof buf, "%s%s", msg3, dir);
    AddLogLine(buf);
    AddLogLine(msg4);
  }
}

INT_PTR CALLBACK MyDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  switch (message) {
    case WM_INITDIALOG:
      PrepareSetupDialog(dialog);
      return TRUE;  // the system puts the focus on OK
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          if (installed)
            EndDialog(dialog, 2);
          else
            RunJob();
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 2);
          return TRUE;
        case ID_HELP:
          EnterDialogBoxHelp();
          return TRUE;
      }
      return FALSE;
    case WM_DESTROY:
      EndDialog(dialog, 2);
      return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK HelpDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)lParam;
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 1);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

int EnterDialogBoxHelp(void) {
  if (DialogBoxParamA(hInst, "HELP", NULL, HelpDlgProc, 0) == -1) {
    kprintf("unable to create HELP dialog\n");
    return -1;
  }
  return 1;
}

int CenterWindow(HWND window) {
  RECT rw, rd;
  HWND desktop = GetDesktopWindow();
  if (!GetWindowRect(window, &rw) || !GetWindowRect(desktop, &rd)) return -1;
  // Term by term, each division truncating toward zero, as C does.
  int x = rd.right / 2 - (rw.right - rw.left) / 2;
  int y = rd.bottom / 2 - (rw.bottom - rw.top) / 2;
  SetWindowPos(window, NULL, x, y, 0, 0, SWP_NOSIZE);
  return 0;
}

int kprintf(const char *format, ...) {
  // A text longer than the buffer is cut at its end, never written past it;
  // no caller comes near the size.
  char text[32768];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof text, format, args);
  va_end(args);
  text[sizeof text - 1] = '\0';
  return MessageBoxA(NULL, text, "ROVAN Kernel", MB_OKCANCEL | MB_SETFOREGROUND);
}
