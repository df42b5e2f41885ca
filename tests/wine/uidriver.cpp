// uidriver: drives the windows of another program for the Wine tests. One
// command per run; every wait is bounded, and a window that does not come (or
// go) in time ends the run with exit code 2. See Usage() for the commands.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static DWORD timeoutMs = 10000;
static const UINT kSendTimeout = 5000;

static int Usage(void) {
  fputs(
      "usage: uidriver [-t MS] COMMAND ...\n"
      "  A window is named by its CLASS and CAPTION; CLASS \"*\" matches any.\n"
      "  Dialogs and message boxes have the class \"#32770\".\n"
      "  Commands that need a window wait for it up to -t MS (default 10000).\n"
      "\n"
      "  wait CLASS CAPTION          wait for the window; print its handle\n"
      "  gone CLASS CAPTION          wait until no such window is left\n"
      "  list CLASS CAPTION ID       print the lines of list box ID, one a line\n"
      "  text CLASS CAPTION [ID]     print the text of control ID (default: the\n"
      "                              first static text that is no icon, such\n"
      "                              as a message box's message)\n"
      "  click CLASS CAPTION ID      press button ID (posted: safe for buttons\n"
      "                              that open a modal box)\n"
      "  rect CLASS CAPTION [ID]     print the window's (or control's) screen\n"
      "                              rectangle: left top right bottom\n"
      "  screen                      print the desktop rectangle: left top right bottom\n"
      "  windows                     print every visible top-level window:\n"
      "                              handle, class, caption\n"
      "\n"
      "  Text is printed as UTF-8. Exit codes: 0 done, 1 usage, 2 timed out,\n"
      "  3 no such control or the window did not answer.\n",
      stderr);
  return 1;
}

// Prints wide text as UTF-8 and a line feed.
static void PrintWide(const WCHAR *text) {
  char out[4096 * 3 + 1];  // the longest text we read, at 3 bytes a character
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, NULL, NULL);
  if (n <= 0) out[0] = '\0';
  out[sizeof out - 1] = '\0';
  printf("%s\n", out);
}

static HWND Find(const char *cls, const char *caption) {
  return FindWindowA(strcmp(cls, "*") == 0 ? NULL : cls, caption);
}

// A dialog exists before its controls are made and its procedure has run;
// it is shown only after that, so a visible window is a finished one.
static HWND WaitFor(const char *cls, const char *caption) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND w = Find(cls, caption);
    if (w != NULL && IsWindowVisible(w)) return w;
    if (GetTickCount() - start >= timeoutMs) {
      fprintf(stderr, "uidriver: no window %s \"%s\" after %lu ms\n", cls, caption, (unsigned long)timeoutMs);
      return NULL;
    }
    Sleep(50);
  }
}

static int WaitGone(const char *cls, const char *caption) {
  DWORD start = GetTickCount();
  while (Find(cls, caption) != NULL) {
    if (GetTickCount() - start >= timeoutMs) {
      fprintf(stderr, "uidriver: window %s \"%s\" still there after %lu ms\n", cls, caption,
              (unsigned long)timeoutMs);
      return 2;
    }
    Sleep(50);
  }
  return 0;
}

// A message to a window of another process, bounded so that a hung program
// cannot hold the tests. Returns 0 when it did not answer.
static int Send(HWND w, UINT msg, WPARAM wParam, LPARAM lParam, DWORD_PTR *result) {
  return SendMessageTimeoutW(w, msg, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeout, result) != 0;
}

static int PrintList(HWND list) {
  DWORD_PTR count = 0;
  if (!Send(list, LB_GETCOUNT, 0, 0, &count) || (LRESULT)count == LB_ERR) return 3;
  for (DWORD_PTR i = 0; i < count; i++) {
    WCHAR line[4096];
    DWORD_PTR len = 0;
    if (!Send(list, LB_GETTEXTLEN, i, 0, &len) || (LRESULT)len == LB_ERR || len >= 4096) return 3;
    if (!Send(list, LB_GETTEXT, i, (LPARAM)line, &len) || (LRESULT)len == LB_ERR) return 3;
    line[len] = 0;
    PrintWide(line);
  }
  return 0;
}

static int PrintText(HWND control) {
  WCHAR text[4096];
  DWORD_PTR len = 0;
  if (!Send(control, WM_GETTEXT, 4096, (LPARAM)text, &len)) return 3;
  text[len < 4096 ? len : 4095] = 0;
  PrintWide(text);
  return 0;
}

static int PrintRect(HWND w) {
  RECT r;
  if (!GetWindowRect(w, &r)) return 3;
  printf("%ld %ld %ld %ld\n", (long)r.left, (long)r.top, (long)r.right, (long)r.bottom);
  return 0;
}

static BOOL CALLBACK ListWindow(HWND w, LPARAM unused) {
  (void)unused;
  if (!IsWindowVisible(w)) return TRUE;
  char cls[256], caption[512];
  GetClassNameA(w, cls, sizeof cls);
  GetWindowTextA(w, caption, sizeof caption);
  printf("%p %s \"%s\"\n", (void *)w, cls, caption);
  return TRUE;
}

// A message box's text is its first static control with text that is not an
// icon; its id differs between systems.
static BOOL CALLBACK FirstText(HWND c, LPARAM found) {
  char cls[64];
  GetClassNameA(c, cls, sizeof cls);
  DWORD_PTR len = 0;
  int icon = (GetWindowLongA(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON;
  if (_stricmp(cls, "Static") == 0 && !icon && Send(c, WM_GETTEXTLENGTH, 0, 0, &len) && len > 0) {
    *(HWND *)found = c;
    return FALSE;
  }
  return TRUE;
}

static HWND Control(HWND w, int argc, char **argv, int at, int fallback) {
  int id = at < argc ? (int)strtol(argv[at], NULL, 0) : fallback;
  HWND c = GetDlgItem(w, id);
  if (c == NULL) fprintf(stderr, "uidriver: no control %d\n", id);
  return c;
}

int main(int argc, char **argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // lines end with \n only
  int at = 1;
  if (at + 1 < argc && strcmp(argv[at], "-t") == 0) {
    timeoutMs = (DWORD)strtoul(argv[at + 1], NULL, 10);
    at += 2;
  }
  if (at >= argc) return Usage();
  const char *cmd = argv[at];
  if (strcmp(cmd, "screen") == 0) return PrintRect(GetDesktopWindow());
  if (strcmp(cmd, "windows") == 0) {
    EnumWindows(ListWindow, 0);
    return 0;
  }
  if (at + 2 >= argc) return Usage();
  const char *cls = argv[at + 1], *caption = argv[at + 2];
  at += 3;
  if (strcmp(cmd, "gone") == 0) return WaitGone(cls, caption);

  HWND w = WaitFor(cls, caption);
  if (w == NULL) return 2;
  if (strcmp(cmd, "wait") == 0) {
    printf("%p\n", (void *)w);
    return 0;
  }
  if (strcmp(cmd, "list") == 0) {
    if (at >= argc) return Usage();
    HWND c = Control(w, argc, argv, at, 0);
    return c != NULL ? PrintList(c) : 3;
  }
  if (strcmp(cmd, "text") == 0) {
    HWND c = NULL;
    if (at < argc)
      c = Control(w, argc, argv, at, 0);
    else
      EnumChildWindows(w, FirstText, (LPARAM)&c);
    return c != NULL ? PrintText(c) : 3;
  }
  if (strcmp(cmd, "click") == 0) {
    if (at >= argc) return Usage();
    int id = (int)strtol(argv[at], NULL, 0);
    // The command the button would send, posted so that a modal box it
    // opens does not hold us.
    HWND c = GetDlgItem(w, id);
    return PostMessageA(w, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)c) ? 0 : 3;
  }
  if (strcmp(cmd, "rect") == 0) {
    if (at >= argc) return PrintRect(w);
    HWND c = Control(w, argc, argv, at, 0);
    return c != NULL ? PrintRect(c) : 3;
  }
  return Usage();
}
