// The fake plug-in's windows: the connection window with a button, the
// address box, a check box and a disabled button; a question in a message
// box; each step logged.
#include <windows.h>

#include <cstdio>
#include <string>

#include "text/cp1251.h"
#include "windows_plugin.h"

namespace fake {

namespace {

using pw::operator""_w;

HWND app = nullptr;
HWND form = nullptr;
HWND address_box = nullptr;
WNDPROC edit_procedure = nullptr;
std::wstring address;  // the model's text, read back on CBN_EDITCHANGE

enum Command { kShowForm = 1, kAsk = 2, kShowLater = 3, kSend = 100, kAddress = 101, kAuto = 102, kStop = 103 };
constexpr UINT_PTR kShowTimer = 1;

// The texts are Windows-1251, as the plug-in's are; the W calls get them
// wide, and the model reads them back narrow.
std::wstring Wide(std::string_view cp1251) {
  wchar_t out[512];
  const int n = ::MultiByteToWideChar(1251, 0, cp1251.data(), static_cast<int>(cp1251.size()), out, 512);
  return std::wstring(out, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string Cp1251(const std::wstring& wide) {
  char out[1024];
  const int n = ::WideCharToMultiByte(1251, 0, wide.c_str(), -1, out, 1024, nullptr, nullptr);
  return n > 0 ? std::string(out, n - 1) : std::string();
}

// A line of the event log as the plug-in writes it: its time stamp, "  - ",
// the text in Windows-1251, CR LF.
void Log(const std::string& cp1251) {
  wchar_t root[MAX_PATH] = {};
  if (::GetEnvironmentVariableW(L"PUMPWIRE_ROOT", root, MAX_PATH) == 0) return;
  std::wstring path = root;
  if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
  path += L"LogFiles\\Pumpwire.log";
  SYSTEMTIME t;
  ::GetLocalTime(&t);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%02u.%02u.%04u %02u:%02u:%02u:%03u  - ", t.wDay, t.wMonth, t.wYear,
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
  const std::string line = stamp + cp1251 + "\r\n";
  HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  ::CloseHandle(file);
}

HWND Control(const wchar_t* window_class, std::string_view text, DWORD style, int x, int y, int w, int h, int id,
             const wchar_t* name) {
  HWND control = ::CreateWindowExW(0, window_class, Wide(text).c_str(), WS_CHILD | WS_VISIBLE | style, x, y, w,
                                   h, form, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  ::SetPropW(control, (std::wstring(L"pw:") + name).c_str(), reinterpret_cast<HANDLE>(1));
  return control;
}

// Enter in the address box's edit reaches the model as the key's release.
LRESULT CALLBACK EditProcedure(HWND edit, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_KEYUP && wparam == VK_RETURN) Log(std::string("Адрес: "_w) + Cp1251(address));
  return ::CallWindowProcW(edit_procedure, edit, message, wparam, lparam);
}

LRESULT CALLBACK FormProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_COMMAND) {
    const int id = LOWORD(wparam);
    if (id == kSend && HIWORD(wparam) == BN_CLICKED) Log(std::string("Нажата кнопка: "_w) + Cp1251(address));
    if (id == kAddress && HIWORD(wparam) == CBN_EDITCHANGE) {
      wchar_t text[256] = {};
      ::GetWindowTextW(address_box, text, 256);
      address = text;
    }
    return 0;
  }
  if (message == WM_TIMER && wparam == kShowTimer) {
    ::KillTimer(window, kShowTimer);
    ::ShowWindow(window, SW_SHOW);
    Log(std::string("Окно показано позже"_w));
    return 0;
  }
  if (message == WM_CLOSE) {
    ::ShowWindow(window, SW_HIDE);
    return 0;
  }
  return ::DefWindowProcW(window, message, wparam, lparam);
}

void MakeForm() {
  WNDCLASSW form_class{};
  form_class.lpfnWndProc = FormProcedure;
  form_class.hInstance = ::GetModuleHandleW(nullptr);
  form_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form_class.lpszClassName = L"TInetForm";
  ::RegisterClassW(&form_class);
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
  RECT outer{0, 0, 499, 399};
  ::AdjustWindowRectEx(&outer, style, FALSE, 0);
  form = ::CreateWindowExW(0, L"TInetForm", Wide("Прямое IP соединение"_w).c_str(), style, 40, 40,
                           outer.right - outer.left, outer.bottom - outer.top, app, nullptr, nullptr, nullptr);
  Control(L"Button", "Отправить в офис"_w, BS_PUSHBUTTON, 8, 8, 120, 25, kSend, L"bSendToOffice");
  address_box = Control(L"ComboBox", "", CBS_DROPDOWN | WS_VSCROLL, 8, 40, 200, 200, kAddress, L"cb_IP");
  HWND check = Control(L"Button", "Авто"_w, BS_AUTOCHECKBOX, 8, 72, 100, 20, kAuto, L"cbAuto");
  ::SendMessageW(check, BM_SETCHECK, BST_CHECKED, 0);
  HWND stop = Control(L"Button", "Стоп"_w, BS_PUSHBUTTON, 130, 8, 60, 25, kStop, L"bStop");
  ::EnableWindow(stop, FALSE);
  HWND edit = ::FindWindowExW(address_box, nullptr, L"Edit", nullptr);
  edit_procedure = reinterpret_cast<WNDPROC>(
      ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProcedure)));
}

void OnMenu(int id) {
  if (id == kShowForm) {
    ::ShowWindow(form, SW_SHOW);
    Log(std::string("Окно показано"_w));
  } else if (id == kShowLater) {
    // Hidden now, shown a moment after the click has returned.
    ::ShowWindow(form, SW_HIDE);
    ::SetTimer(form, kShowTimer, 300, nullptr);
  } else if (id == kAsk) {
    const int answer = ::MessageBoxW(app, Wide("Отправить запрос?"_w).c_str(), Wide("Вопрос"_w).c_str(),
                                     MB_YESNO | MB_ICONQUESTION);
    Log(std::string(answer == IDYES ? "Ответ: да"_w : "Ответ: нет"_w));
  }
}

}  // namespace

std::int32_t Load(std::uint32_t app_window, std::uint8_t, const HostMenu& menu) {
  app = reinterpret_cast<HWND>(static_cast<UINT_PTR>(app_window));
  MakeForm();
  void* top = menu.item(menu.host, nullptr, "Связь с о&фисом"_w.data(), nullptr, 0);
  menu.item(menu.host, top, "Прямое IP соединение"_w.data(), OnMenu, kShowForm);
  menu.item(menu.host, top, "Вопрос"_w.data(), OnMenu, kAsk);
  menu.item(menu.host, top, "Показать позже"_w.data(), OnMenu, kShowLater);
  Log(std::string("Загружен"_w));
  return 0;
}

std::int32_t UnLoad() {
  ::DestroyWindow(form);
  ::UnregisterClassW(L"TInetForm", nullptr);
  Log(std::string("Выгружен"_w));
  return 0;
}

}  // namespace fake
