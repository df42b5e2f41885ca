// A stand-in for the ROVAN kernel: it runs under rundll32 as
//   rundll32 qor.dll,QOR <parameters>
// and does nothing but wait for the event ROVANSTOP, so that the service host
// can be run and proven end to end.
//
// It appends two lines to "qor.log" in its working directory, each ended by
// CR LF, so that a user and the tests can see what ran:
//   QOR start [<parameters>] dir [<working directory>]
//   QOR end [<parameters>]
// The brackets delimit the parameter text exactly as rundll32 handed it over,
// so trailing blanks show. When ROVANSTOP cannot be opened or created the end
// line is "QOR end [<parameters>] error <code>" and comes at once.
#include <windows.h>

#include <stdio.h>
#include <string.h>

static void LogLine(const char *line) {
  HANDLE h = CreateFileA("qor.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written;
  WriteFile(h, line, (DWORD)strlen(line), &written, NULL);
  CloseHandle(h);
}

extern "C" __declspec(dllexport) void CALLBACK QOR(HWND hwnd, HINSTANCE hinst, LPSTR lpszCmdLine, int nCmdShow) {
  (void)hwnd;
  (void)hinst;
  (void)nCmdShow;
  char dir[MAX_PATH];
  char line[2 * MAX_PATH + 1100];
  const char *params = lpszCmdLine ? lpszCmdLine : "";

  DWORD n = GetCurrentDirectoryA(sizeof dir, dir);
  if (n == 0 || n >= sizeof dir) dir[0] = 0;
  snprintf(line, sizeof line, "QOR start [%s] dir [%s]\r\n", params, dir);
  LogLine(line);

  // Created when it does not exist yet, so that a kernel started by hand can
  // be stopped as well; an existing event keeps its state.
  HANDLE stop = CreateEventA(NULL, TRUE, FALSE, "ROVANSTOP");
  if (stop == NULL) {
    snprintf(line, sizeof line, "QOR end [%s] error %lu\r\n", params, (unsigned long)GetLastError());
    LogLine(line);
    return;
  }
  WaitForSingleObject(stop, INFINITE);
  CloseHandle(stop);

  snprintf(line, sizeof line, "QOR end [%s]\r\n", params);
  LogLine(line);
}
