// Start-up of setup: the command line decides the mode and the target, then
// the SETUP dialog runs until the user closes it.
#include <stdio.h>
#include <string.h>

#include "setup.h"
// after windows.h, which it needs
#include <commctrl.h>

int argc;
char *argv[3];
HINSTANCE hInst;
int uninst;
char dir[256];
HCURSOR hNewCursor;

static char progName[] = "setup";

// Splits the command tail in place into argv. Only a blank ends an argument;
// the white space after it is skipped, so quotes and tabs stay in the words.
// Returns 1 when a third argument is present, for which argv has no room.
static int SplitCommandTail(char *tail) {
  argc = 1;
  argv[0] = progName;
  argv[1] = argv[2] = NULL;
  char *p = tail;
  while (p != NULL && *p != '\0') {
    if (argc == 3) return 1;
    argv[argc++] = p;
    p = strchr(p, ' ');
    if (p == NULL) break;
    *p++ = '\0';
    while (*p == ' ' || (*p >= 9 && *p <= 13)) p++;
  }
  return 0;
}

int SetupStart(HINSTANCE instance, LPSTR cmdTail) {
  hInst = instance;
  InitCommonControls();
  int tooMany = SplitCommandTail(cmdTail);
  int switched = argc > 1 && argv[1][0] == '-';
  const char *target = "ROVAN";
  if (argc == 3)
    target = argv[2];
  else if (argc == 2 && !switched)
    target = argv[1];
  // A target that does not fit dir is refused rather than cut: a silently
  // shortened target would install where the user did not ask.
  if (tooMany || (argc == 3 && !switched) || strlen(target) > sizeof dir - 1) {
    kprintf("Usage: setup [-u] [dir]\n");
    return 0;
  }
  uninst = switched;
  snprintf(dir, sizeof dir, "%s", target);
  hNewCursor = LoadCursorA(NULL, IDC_WAIT);
  EnterDialogBox();
  return 0;
}

int EnterDialogBox(void) {
  WNDCLASSA wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = DefDlgProcA;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = DLGWINDOWEXTRA;
  wc.hInstance = hInst;
  wc.hIcon = LoadIconA(hInst, "MyIcon");
  wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(INT_PTR)(COLOR_WINDOW + 1);
  wc.lpszMenuName = NULL;
  wc.lpszClassName = "SetupClass";
  // A failed registration shows up as the dialog failing to be created.
  RegisterClassA(&wc);
  if (DialogBoxParamA(hInst, "SETUP", NULL, MyDlgProc, 0) == -1) {
    kprintf("unable to create SETUP dialog\n");
    return -1;
  }
  return 1;
}
