// A Control Panel applet of the Wine tests, built twice as ncpa.cpl and
// netcpl.cpl: Wine has neither network applet. Opening it only records, in
// C:\applets-opened.txt, the file name of the applet that was opened and the
// command line of the control.exe that opened it; it shows nothing.
#include <windows.h>
#include <cpl.h>
#include <stdio.h>
#include <string.h>

static HINSTANCE self;

static void Record(void) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(self, path, sizeof path);
  if (n == 0 || n >= sizeof path) strcpy(path, "?");
  const char *name = strrchr(path, '\\');
  FILE *f = fopen("C:\\applets-opened.txt", "a");
  if (f == NULL) return;
  fprintf(f, "%s|%s\n", name ? name + 1 : path, GetCommandLineA());
  fclose(f);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}

extern "C" __declspec(dllexport) LONG APIENTRY CPlApplet(HWND window, UINT message, LPARAM lParam1,
                                                         LPARAM lParam2) {
  (void)window;
  (void)lParam1;
  switch (message) {
    case CPL_INIT:
      return TRUE;
    case CPL_GETCOUNT:
      return 1;
    case CPL_NEWINQUIRE: {
      // The Control Panel drops an applet without an icon: a system one does.
      NEWCPLINFOA *info = (NEWCPLINFOA *)lParam2;
      memset(info, 0, sizeof *info);
      info->dwSize = sizeof *info;
      info->hIcon = LoadIconA(NULL, (LPCSTR)IDI_APPLICATION);
      strcpy(info->szName, "Network");
      strcpy(info->szInfo, "Records that it was opened");
      return 0;
    }
    case CPL_INQUIRE: {
      CPLINFO *info = (CPLINFO *)lParam2;
      info->idIcon = 0;
      info->idName = 0;
      info->idInfo = 0;
      info->lData = 0;
      return 0;
    }
    case CPL_DBLCLK:
    case CPL_STARTWPARMSA:
    case CPL_STARTWPARMSW:
      Record();
      return message == CPL_DBLCLK ? 0 : TRUE;
  }
  return 0;
}
