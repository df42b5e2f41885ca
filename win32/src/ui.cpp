// Windows, dialogs, list boxes, message boxes, cursors and icons of our Win32
// layer. Single-threaded like the programs' user interface, so no lock: a
// dialog procedure called from here may call back into any of these.
#include <cstring>
#include <deque>
#include <map>
#include <w32fake.h>

#include "handles.h"

namespace {
enum class Kind { Desktop, TopLevel, Dialog, Control };

struct Window {
  Kind kind;
  HWND parent;
  int id;
  std::string className;
  RECT rect;
  bool failRect;
  // dialogs
  DLGPROC proc;
  bool ended;
  INT_PTR result;
  std::vector<HWND> children;
  // list boxes
  std::vector<std::string> items;
  int top;
  int extent;
  std::vector<int> topRequests;
};

struct Template {
  std::string name, windowClass;
  std::vector<w32fake::DialogControl> controls;
  DWORD failure;
};

std::map<uintptr_t, Window> windows;
uintptr_t nextWindow;
uintptr_t nextResource;
HWND desktop;
RECT screen, dialogRect;
std::vector<Template> templates;
std::vector<std::string> icons;
std::map<std::string, HANDLE> iconHandles, systemCursors, systemIcons;
w32fake::DialogScript dialogScript;
int unended;
std::vector<w32fake::DialogRun> runs;
std::deque<int> answers;
DWORD messageBoxFailure;
std::function<void(const w32fake::MessageBoxCall &)> whileOpen;
std::vector<w32fake::MessageBoxCall> boxes;
std::vector<w32fake::ClassRecord> classes;
DWORD classFailure;
std::vector<w32fake::ResourceLoad> cursorLoads, iconLoads;
std::vector<HCURSOR> cursorsSet;
HCURSOR currentCursor;
std::vector<w32fake::WindowMove> moves;

bool SameName(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (std::tolower((unsigned char)a[i]) != std::tolower((unsigned char)b[i])) return false;
  return true;
}

// A resource name as the tests spell it: the text, or "#n" for an id.
std::string ResourceName(LPCSTR name) {
  if (IS_INTRESOURCE(name)) return "#" + std::to_string((unsigned)(uintptr_t)name);
  return name;
}

HWND NewWindow(Kind kind, HWND parent, int id, const std::string &className, const RECT &rect) {
  nextWindow += 2;
  Window w{};
  w.kind = kind;
  w.parent = parent;
  w.id = id;
  w.className = className;
  w.rect = rect;
  w.top = 0;
  windows[nextWindow] = w;
  return reinterpret_cast<HWND>(nextWindow);
}

Window *Find(HWND hwnd) {
  auto it = windows.find(reinterpret_cast<uintptr_t>(hwnd));
  return it == windows.end() ? nullptr : &it->second;
}

Window *FindOrFail(HWND hwnd) {
  Window *w = Find(hwnd);
  if (w == nullptr) SetLastError(ERROR_INVALID_WINDOW_HANDLE);
  return w;
}

HANDLE NewResourceHandle() {
  nextResource += 4;
  return reinterpret_cast<HANDLE>(nextResource);
}

void Defaults() {
  windows.clear();
  nextWindow = 0x20000;
  nextResource = 0x40000;
  screen = RECT{0, 0, 1024, 768};
  dialogRect = RECT{0, 0, 300, 200};
  desktop = NewWindow(Kind::Desktop, nullptr, 0, "#32769", screen);
  templates.clear();
  icons.clear();
  iconHandles.clear();
  systemCursors.clear();
  systemIcons.clear();
  dialogScript = nullptr;
  unended = 0;
  runs.clear();
  answers.clear();
  messageBoxFailure = 0;
  whileOpen = nullptr;
  boxes.clear();
  classes.clear();
  classFailure = 0;
  cursorLoads.clear();
  iconLoads.clear();
  cursorsSet.clear();
  currentCursor = nullptr;
  moves.clear();
}

struct Init {
  Init() { Defaults(); }
} init;

// The system's shared cursors and icons, by their predefined ids.
HANDLE SystemImage(std::map<std::string, HANDLE> &table, LPCSTR name, unsigned first, unsigned last) {
  if (!IS_INTRESOURCE(name)) return nullptr;
  unsigned id = (unsigned)(uintptr_t)name;
  if (id < first || id > last) return nullptr;
  HANDLE &h = table[ResourceName(name)];
  if (h == nullptr) h = NewResourceHandle();
  return h;
}

void DestroyTree(HWND hwnd) {
  Window *w = Find(hwnd);
  if (w == nullptr) return;
  std::vector<HWND> children = w->children;
  for (HWND c : children) DestroyTree(c);
  windows.erase(reinterpret_cast<uintptr_t>(hwnd));
}
}  // namespace

namespace w32fake {
void AddDialogTemplate(const std::string &name, const std::string &windowClass,
                       const std::vector<DialogControl> &controls) {
  templates.push_back(Template{name, windowClass, controls, 0});
}
void FailDialog(const std::string &name, DWORD error) {
  for (auto &t : templates)
    if (SameName(t.name, name)) t.failure = error;
}
void AddIconResource(const std::string &name) { icons.push_back(name); }
void OnDialog(DialogScript script) { dialogScript = std::move(script); }
int UnendedDialogs() { return unended; }
const std::vector<DialogRun> &Dialogs() { return runs; }

INT_PTR Command(HWND dialog, int id) {
  Window *w = Find(dialog);
  if (w == nullptr || w->kind != Kind::Dialog) return 0;
  DLGPROC proc = w->proc;
  HWND control = nullptr;
  for (HWND c : w->children)
    if (Find(c)->id == id) control = c;
  return proc(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

bool DialogEnded(HWND dialog) {
  Window *w = Find(dialog);
  return w != nullptr && w->kind == Kind::Dialog && w->ended;
}

std::vector<std::string> ListBoxItems(HWND listBox) {
  Window *w = Find(listBox);
  return w != nullptr ? w->items : std::vector<std::string>();
}
int ListBoxTopIndex(HWND listBox) {
  Window *w = Find(listBox);
  return w != nullptr ? w->top : -1;
}
std::vector<int> ListBoxTopIndexRequests(HWND listBox) {
  Window *w = Find(listBox);
  return w != nullptr ? w->topRequests : std::vector<int>();
}
int ListBoxHorizontalExtent(HWND listBox) {
  Window *w = Find(listBox);
  return w != nullptr ? w->extent : -1;
}

void AnswerMessageBox(int button) { answers.push_back(button); }
void FailNextMessageBox(DWORD error) { messageBoxFailure = error; }
void OnMessageBox(std::function<void(const MessageBoxCall &)> callback) { whileOpen = std::move(callback); }
const std::vector<MessageBoxCall> &MessageBoxes() { return boxes; }

const std::vector<ClassRecord> &Classes() { return classes; }
void FailNextRegisterClass(DWORD error) { classFailure = error; }

const std::vector<ResourceLoad> &CursorLoads() { return cursorLoads; }
const std::vector<ResourceLoad> &IconLoads() { return iconLoads; }
const std::vector<HCURSOR> &CursorsSet() { return cursorsSet; }

void SetScreenRect(const RECT &rect) {
  screen = rect;
  Find(desktop)->rect = rect;
}
void SetDialogRect(const RECT &rect) { dialogRect = rect; }
HWND AddWindow(const RECT &rect) { return NewWindow(Kind::TopLevel, nullptr, 0, "", rect); }
void FailGetWindowRect(HWND window) {
  Window *w = Find(window);
  if (w != nullptr) w->failRect = true;
}
const std::vector<WindowMove> &WindowMoves() { return moves; }

namespace detail {
void ResetUi() { Defaults(); }
}  // namespace detail
}  // namespace w32fake

ATOM RegisterClassA(const WNDCLASSA *wc) {
  W32_CALL;
  if (wc == nullptr || wc->lpszClassName == nullptr || wc->cbClsExtra < 0 || wc->cbWndExtra < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  if (classFailure) {
    SetLastError(classFailure);
    classFailure = 0;
    return 0;
  }
  for (auto &c : classes)
    if (c.wc.hInstance == wc->hInstance && SameName(c.className, wc->lpszClassName)) {
      SetLastError(ERROR_CLASS_ALREADY_EXISTS);
      return 0;
    }
  classes.push_back(w32fake::ClassRecord{*wc, wc->lpszClassName});
  return (ATOM)(0xC000 + classes.size() - 1);
}

LRESULT CALLBACK DefDlgProcA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  W32_CALL;
  (void)hwnd;
  (void)msg;
  (void)wParam;
  (void)lParam;
  return 0;
}

INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner, DLGPROC proc, LPARAM init) {
  W32_CALL;
  std::string name = templateName != nullptr ? ResourceName(templateName) : "";
  size_t run = runs.size();
  runs.push_back(w32fake::DialogRun{name, instance, owner, init, -1});
  if (owner != nullptr && Find(owner) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return -1;
  }
  const Template *t = nullptr;
  for (auto &candidate : templates)
    if (SameName(candidate.name, name)) t = &candidate;
  if (t == nullptr) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return -1;
  }
  if (proc == nullptr) {  // Windows allows it; our programs never do it
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  if (t->failure) {
    SetLastError(t->failure);
    return -1;
  }
  if (!t->windowClass.empty()) {
    bool registered = false;
    for (auto &c : classes) registered = registered || SameName(c.className, t->windowClass);
    if (!registered) {
      SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
      return -1;
    }
  }
  HWND dialog = NewWindow(Kind::Dialog, owner, 0, t->windowClass.empty() ? "#32770" : t->windowClass, dialogRect);
  std::vector<HWND> children;
  for (auto &c : t->controls) children.push_back(NewWindow(Kind::Control, dialog, c.id, c.className, RECT{}));
  Window *w = Find(dialog);
  w->proc = proc;
  w->children = children;
  WPARAM focus = children.empty() ? 0 : reinterpret_cast<WPARAM>(children[0]);

  proc(dialog, WM_INITDIALOG, focus, init);
  if (!Find(dialog)->ended && dialogScript) {
    w32fake::DialogScript script = dialogScript;  // the script may replace itself
    script(dialog, t->name);
  }
  w = Find(dialog);
  if (!w->ended) unended++;
  INT_PTR result = w->ended ? w->result : 0;
  // The window is destroyed after the result is taken, as the system's modal
  // loop does: the procedure sees WM_DESTROY while the window still exists.
  proc(dialog, WM_DESTROY, 0, 0);
  DestroyTree(dialog);
  runs[run].result = result;
  return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  W32_CALL;
  Window *w = Find(dialog);
  if (w == nullptr || w->kind != Kind::Dialog) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  w->ended = true;
  w->result = result;
  return TRUE;
}

HWND GetDlgItem(HWND dialog, int id) {
  W32_CALL;
  Window *w = FindOrFail(dialog);
  if (w == nullptr) return nullptr;
  for (HWND c : w->children)
    if (Find(c)->id == id) return c;
  SetLastError(ERROR_CONTROL_ID_NOT_FOUND);
  return nullptr;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  W32_CALL;
  Window *w = FindOrFail(hwnd);
  if (w == nullptr) return 0;
  if (w->kind == Kind::Dialog) {
    // The dialog manager answers with the message result the procedure set,
    // which our programs never set: 0.
    w->proc(hwnd, msg, wParam, lParam);
    return 0;
  }
  if (!SameName(w->className, "listbox")) return 0;
  int count = (int)w->items.size();
  switch (msg) {
    case LB_ADDSTRING: {
      const char *text = reinterpret_cast<const char *>(lParam);
      w->items.push_back(text != nullptr ? text : "");
      return count;
    }
    case LB_GETCOUNT:
      return count;
    case LB_GETTEXT:
    case LB_GETTEXTLEN: {
      if (wParam >= (WPARAM)count) return LB_ERR;
      const std::string &item = w->items[wParam];
      if (msg == LB_GETTEXT) std::memcpy(reinterpret_cast<char *>(lParam), item.c_str(), item.size() + 1);
      return (LRESULT)item.size();
    }
    case LB_SETTOPINDEX:
      // The list box scrolls as far as it can: an index past the end shows
      // the last item (this box has a page of one line).
      w->topRequests.push_back((int)wParam);
      w->top = count == 0 ? 0 : ((int)wParam < count ? (int)wParam : count - 1);
      return 0;
    case LB_GETTOPINDEX:
      return w->top;
    case LB_SETHORIZONTALEXTENT:
      w->extent = (int)wParam;
      return 0;
    case LB_GETHORIZONTALEXTENT:
      return w->extent;
    default:
      return 0;
  }
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  W32_CALL;
  if (owner != nullptr && Find(owner) == nullptr) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return 0;
  }
  if (messageBoxFailure) {
    SetLastError(messageBoxFailure);
    messageBoxFailure = 0;
    return 0;
  }
  int answer = IDOK;
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  w32fake::MessageBoxCall call{owner, text != nullptr ? text : "", caption != nullptr ? caption : "Error", type,
                               answer};
  boxes.push_back(call);
  if (whileOpen) {
    auto callback = whileOpen;
    callback(call);
  }
  return answer;
}

HWND GetDesktopWindow(void) { W32_CALL; return desktop; }

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  W32_CALL;
  Window *w = FindOrFail(hwnd);
  if (w == nullptr) return FALSE;
  if (w->failRect) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  if (rect == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *rect = w->rect;
  return TRUE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
  W32_CALL;
  Window *w = FindOrFail(hwnd);
  if (w == nullptr) return FALSE;
  moves.push_back(w32fake::WindowMove{hwnd, insertAfter, x, y, cx, cy, flags});
  LONG width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
  if (!(flags & SWP_NOSIZE)) {
    width = cx;
    height = cy;
  }
  if (!(flags & SWP_NOMOVE)) {
    w->rect.left = x;
    w->rect.top = y;
  }
  w->rect.right = w->rect.left + width;
  w->rect.bottom = w->rect.top + height;
  return TRUE;
}

HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
  W32_CALL;
  // The program has no cursor resources of its own: only the system's.
  HANDLE h = instance == nullptr ? SystemImage(systemCursors, name, 32512, 32651) : nullptr;
  cursorLoads.push_back(w32fake::ResourceLoad{instance, name != nullptr ? ResourceName(name) : "", h});
  if (h == nullptr) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return static_cast<HCURSOR>(h);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  W32_CALL;
  std::string resource = name != nullptr ? ResourceName(name) : "";
  HANDLE h = nullptr;
  if (instance == nullptr) {
    h = SystemImage(systemIcons, name, 32512, 32518);
  } else {
    for (auto &icon : icons)
      if (SameName(icon, resource)) {
        HANDLE &shared = iconHandles[icon];
        if (shared == nullptr) shared = NewResourceHandle();
        h = shared;
      }
  }
  iconLoads.push_back(w32fake::ResourceLoad{instance, resource, h});
  if (h == nullptr) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
  return static_cast<HICON>(h);
}

HCURSOR SetCursor(HCURSOR cursor) {
  W32_CALL;
  HCURSOR previous = currentCursor;
  currentCursor = cursor;
  cursorsSet.push_back(cursor);
  return previous;
}
