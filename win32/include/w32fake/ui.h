#pragma once
#include <functional>
#include <string>
#include <vector>
#include <windows.h>

// Windows as the tests see them. The user interface is single-threaded, as in
// the programs: these calls run on the test's thread, and the scripts below
// run inside the program's own calls (a dialog's modal loop, a message box
// while it is open), so a test acts exactly where a user could.
namespace w32fake {

// Dialog resources. A template the program asks for and the test did not add
// makes DialogBoxParamA fail with ERROR_RESOURCE_NAME_NOT_FOUND, as a missing
// resource does. A template that names a window class needs it registered
// first (ERROR_CANNOT_FIND_WND_CLASS otherwise).
struct DialogControl {
  int id;
  std::string className;  // "button", "listbox", "static"
};
void AddDialogTemplate(const std::string &name, const std::string &windowClass,
                       const std::vector<DialogControl> &controls);
// This template fails to create, with this last-error code.
void FailDialog(const std::string &name, DWORD error);
// Icon resources of the program's instance, for LoadIconA.
void AddIconResource(const std::string &name);

// Runs inside the modal loop of every dialog, after WM_INITDIALOG (unless the
// dialog already ended there), with the dialog and its template name. A dialog
// still open when the script returns is torn down as if destroyed, with
// result 0, and counted by UnendedDialogs(): a test forgot to close it.
using DialogScript = std::function<void(HWND dialog, const std::string &templateName)>;
void OnDialog(DialogScript script);
int UnendedDialogs();
// What a user's click does: WM_COMMAND with the id (BN_CLICKED) and the
// control's handle, delivered to the dialog procedure; its result.
INT_PTR Command(HWND dialog, int id);
// Whether EndDialog was called on this dialog, which is still running.
bool DialogEnded(HWND dialog);

// One DialogBoxParamA call.
struct DialogRun {
  std::string templateName;
  HINSTANCE instance;
  HWND owner;
  LPARAM init;
  INT_PTR result;  // what DialogBoxParamA returned
};
const std::vector<DialogRun> &Dialogs();

// The items of a list box in order; empty for a handle that is not one.
std::vector<std::string> ListBoxItems(HWND listBox);
int ListBoxTopIndex(HWND listBox);
std::vector<int> ListBoxTopIndexRequests(HWND listBox);  // every LB_SETTOPINDEX, as sent
int ListBoxHorizontalExtent(HWND listBox);

// Message boxes. Answers are taken in order, one per box; without one the box
// is answered IDOK. A failing box returns 0 with the given last error.
struct MessageBoxCall {
  HWND owner;
  std::string text;
  std::string caption;  // "Error" when the program passed none, as Windows shows
  UINT type;
  int answer;
};
void AnswerMessageBox(int button);
void FailNextMessageBox(DWORD error);
// Runs while a box is open, before it is answered: a test can press buttons
// of a dialog that the box does not disable.
void OnMessageBox(std::function<void(const MessageBoxCall &)> whileOpen);
const std::vector<MessageBoxCall> &MessageBoxes();

// Window classes as registered, with the class name copied.
struct ClassRecord {
  WNDCLASSA wc;
  std::string className;
};
const std::vector<ClassRecord> &Classes();
void FailNextRegisterClass(DWORD error);

// Cursors and icons: the handles handed out, and every SetCursor.
struct ResourceLoad {
  HINSTANCE instance;
  std::string name;  // "#32514" for a numeric id
  HANDLE handle;     // null when the load failed
};
const std::vector<ResourceLoad> &CursorLoads();
const std::vector<ResourceLoad> &IconLoads();
const std::vector<HCURSOR> &CursorsSet();

// Placement. The screen is 1024 by 768 unless set; a dialog is created at
// this rectangle (default 0, 0, 300, 200). A plain top-level window can be
// made for placement tests; GetWindowRect on a window made to fail fails
// with ERROR_INVALID_WINDOW_HANDLE.
void SetScreenRect(const RECT &rect);
void SetDialogRect(const RECT &rect);
HWND AddWindow(const RECT &rect);
void FailGetWindowRect(HWND window);
struct WindowMove {
  HWND window, insertAfter;
  int x, y, cx, cy;
  UINT flags;
};
const std::vector<WindowMove> &WindowMoves();
}  // namespace w32fake
