// Stand-ins for what Wine lacks, for the Wine tests: the Control Panel network
// applets (built as ncpa.cpl and netcpl.cpl) and the Windows 95 INF installer
// (built as setupx.dll). Each only records that it was used, one line in
// C:\standins.log: its own file name, "|", and the applet's process command
// line or the text that rundll32 passed to InstallHinfSection. Nothing is shown.
#include <windows.h>
#include <cpl.h>
#include <stdio.h>
#include <string.h>

static HINSTANCE self;

static void Record(const char *what) {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(self, path, sizeof path);
  if (n == 0 || n >= sizeof path) strcpy(path, "?");
  const char *name = strrchr(path, '\\');
  FILE *f = fopen("C:\\standins.log", "a");
  if (f == NULL) return;
  fprintf(f, "%s|%s\n", name ? name + 1 : path, what);
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
      Record(GetCommandLineA());
      return message == CPL_DBLCLK ? 0 : TRUE;
  }
  return 0;
}

// The INF installer's entry as rundll32 calls it, with the text after the
// entry's name: section, mode and INF path.
extern "C" __declspec(dllexport) void CALLBACK InstallHinfSection(HWND window, HINSTANCE instance, LPSTR args,
                                                                  int show) {
  (void)window;
  (void)instance;
  (void)show;
  Record(args ? args : "");
}
