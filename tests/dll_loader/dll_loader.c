/* Loads pumpwire.dll from this program's own folder as the back-office
 * application does (LoadLibraryW), finds the seven exports by name and by
 * ordinal (1 to 7 in the order plugin.h lists them), which must give the
 * same functions, calls GetVersion and unloads the DLL.
 *
 * It prints what it finds, and as its last line "dll loader: ok" only when
 * all of it held: a script reads that line, since under Wine a program that
 * could not start at all may end with 0 too. */
#include <windows.h>

#include <stdio.h>
#include <wchar.h>

#include "header_order.h"
#include "pumpwire/plugin.h"

static const char* const kExports[] = {"Load",       "UnLoad",     "AddMenus",
                                       "AutoSendInet", "RefreshPaswordData", "GetVersion",
                                       "AutoSendInetFromOffice"};
enum { kExportCount = sizeof kExports / sizeof kExports[0] };

/* pumpwire.dll beside this program; 0 when the path does not fit. */
static int PathBesideProgram(wchar_t* path, DWORD size) {
  static const wchar_t kName[] = L"pumpwire.dll";
  const DWORD length = GetModuleFileNameW(NULL, path, size);
  if (length == 0 || length == size) return 0;
  wchar_t* name = wcsrchr(path, L'\\');
  name = name != NULL ? name + 1 : path;
  if ((size_t)(name - path) + sizeof kName / sizeof kName[0] > size) return 0;
  wcscpy(name, kName);
  return 1;
}

/* The version text is Windows-1251; printed as UTF-8. */
static void PrintVersion(const char* cp1251) {
  wchar_t wide[256];
  char utf8[1024];
  if (MultiByteToWideChar(1251, 0, cp1251, -1, wide, 256) == 0 ||
      WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, (int)sizeof utf8, NULL, NULL) == 0) {
    printf("GetVersion: (not Windows-1251 text)\n");
    return;
  }
  printf("GetVersion: %s\n", utf8);
}

int main(void) {
  wchar_t path[MAX_PATH];
  if (!PathBesideProgram(path, MAX_PATH)) {
    printf("dll loader: FAIL this program's path\n");
    return 1;
  }
  const HMODULE dll = LoadLibraryW(path);
  if (dll == NULL) {
    printf("dll loader: FAIL LoadLibraryW, error %lu\n", (unsigned long)GetLastError());
    return 1;
  }
  int failures = 0;
  for (int i = 0; i < kExportCount; ++i) {
    const FARPROC by_name = GetProcAddress(dll, kExports[i]);
    const FARPROC by_ordinal = GetProcAddress(dll, MAKEINTRESOURCEA(i + 1));
    const int same = by_name != NULL && by_name == by_ordinal;
    printf("export @%d %s: %s\n", i + 1, kExports[i],
           by_name == NULL ? "MISSING" : same ? "found, the same by ordinal" : "NOT the one by ordinal");
    failures += !same;
  }
  if (GetProcAddress(dll, MAKEINTRESOURCEA(kExportCount + 1)) != NULL) {
    printf("an export @%d too\n", kExportCount + 1);
    ++failures;
  }
  const char* version = PluginVersion(dll);
  if (version != NULL) {
    PrintVersion(version);
  } else {
    printf("GetVersion: none\n");
    ++failures;
  }
  const unsigned long windows = WindowsVersion();
  printf("Windows (kernel32's GetVersion): %lu.%lu\n", windows & 0xff, (windows >> 8) & 0xff);
  if (!FreeLibrary(dll)) {
    printf("FreeLibrary failed, error %lu\n", (unsigned long)GetLastError());
    ++failures;
  }
  if (failures != 0) {
    printf("dll loader: FAIL %d\n", failures);
    return 1;
  }
  printf("dll loader: ok\n");
  return 0;
}
