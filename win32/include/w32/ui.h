// Windows, dialogs, list boxes, message boxes, cursors and icons.
#pragma once
#include "base.h"

typedef struct HWND__ *HWND;
typedef struct HICON__ *HICON;
typedef HICON HCURSOR;
typedef struct HBRUSH__ *HBRUSH;
typedef struct HMENU__ *HMENU;

typedef INT_PTR(CALLBACK *DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef LRESULT(CALLBACK *WNDPROC)(HWND, UINT, WPARAM, LPARAM);

typedef struct tagRECT {
  LONG left, top, right, bottom;
} RECT, *LPRECT;

typedef struct tagWNDCLASSA {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCSTR lpszMenuName;
  LPCSTR lpszClassName;
} WNDCLASSA;
typedef WORD ATOM;

#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002
#define DLGWINDOWEXTRA 30
#define COLOR_WINDOW 5

#define IDC_ARROW MAKEINTRESOURCEA(32512)
#define IDC_WAIT MAKEINTRESOURCEA(32514)

#define WM_DESTROY 0x0002
#define WM_CLOSE 0x0010
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111

#define LB_ADDSTRING 0x0180
#define LB_GETTEXT 0x0189
#define LB_GETTEXTLEN 0x018A
#define LB_GETCOUNT 0x018B
#define LB_SETTOPINDEX 0x0197
#define LB_SETHORIZONTALEXTENT 0x0194
#define LB_GETTOPINDEX 0x018E
#define LB_GETHORIZONTALEXTENT 0x0193
#define LB_ERR (-1)

#define BN_CLICKED 0

#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CANNOT_FIND_WND_CLASS 1407L
#define ERROR_CLASS_ALREADY_EXISTS 1410L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

#define IS_INTRESOURCE(p) ((((uintptr_t)(p)) >> 16) == 0)

#define IDOK 1
#define IDCANCEL 2

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_SETFOREGROUND 0x00010000L

#define SWP_NOSIZE 0x0001
#define SWP_NOMOVE 0x0002
#define SWP_NOZORDER 0x0004

ATOM RegisterClassA(const WNDCLASSA *wc);
LRESULT CALLBACK DefDlgProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM init);
BOOL EndDialog(HWND dialog, INT_PTR result);
HWND GetDlgItem(HWND dialog, int id);
LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
HWND GetDesktopWindow(void);
BOOL GetWindowRect(HWND hwnd, LPRECT rect);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name);
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);
