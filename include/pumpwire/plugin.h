/*
 * Pumpwire plug-in interface.
 *
 * The back-office application (the host) loads the plug-in library and calls
 * its seven exports, always from its user-interface (main) thread. The
 * plug-in calls back into the host through the HostServices object the host
 * hands to Load, and adds its items to the host's main menu through the menu
 * item interface below.
 *
 * Everything here is plain C, so a host in any language can implement it.
 *
 * Texts: every text crossing this boundary is NUL-terminated Windows-1251.
 *
 * Ownership of texts and records:
 *  - A text or record the host returns through an out-parameter belongs to the
 *    host. It must stay valid until the calling thread makes its next call
 *    into the same object (the HostServices object or the same menu item).
 *    The plug-in copies what it keeps before it calls again.
 *  - A text the plug-in passes to the host is valid only for that call; the
 *    host copies what it keeps.
 *  - GetVersion returns static storage that lives as long as the library.
 *
 * Errors: no exception or other unwinding crosses this boundary. Every host
 * slot returns a PwError: NULL on success, or the error's own text (valid as
 * a returned text above). The plug-in raises it again inside itself as the
 * error of the step that called the host.
 *
 * Threads: slots 7, 8 and 10 and all menu item calls come from the host's
 * main thread; slots 0, 1, 3, 4, 6 and 12 from the plug-in's exchange and
 * listener threads, possibly several at once.
 *
 * Windows and message boxes: the plug-in shows them through its window
 * system, libpumpwire-ui (pumpwire-ui.dll), today as headless models. Its
 * plain-C interface, pumpwire/ui.h, is installed beside this header: a host
 * makes its main thread the window system's before Load and runs its main
 * loop between its own calls, or the plug-in's workers, which hand work to
 * the main thread, wait forever; it lists the windows and their controls,
 * clicks and types, and answers message boxes there. tests/c_host/c_host.c
 * is a whole host in plain C. The shipped Windows pumpwire.dll carries its
 * window system inside; pumpwire-ui.dll belongs to the test build.
 *
 * On Windows the seven are not declared as functions unless
 * PW_DECLARE_EXPORTS is defined: GetVersion would clash with kernel32's,
 * so this header goes with <windows.h> in either order. A host there gets
 * them with GetProcAddress as the Pw...Proc types (tests/dll_loader/).
 */
#ifndef PUMPWIRE_PLUGIN_H
#define PUMPWIRE_PLUGIN_H

#include <stdint.h>

#if defined(_WIN32)
#define PW_CALL __stdcall
#define PW_EXPORT __declspec(dllexport)
#else
#define PW_CALL
#define PW_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* NULL = success; otherwise the error's text. */
typedef const char* PwError;

/* ---- Menu items (owned by the host) -------------------------------------- */

typedef struct PwMenuItem PwMenuItem;

/* Click handler the plug-in installs; called on the host's main thread. */
typedef void(PW_CALL* PwClickHandler)(void* context);

typedef struct PwMenuItemVtbl {
  PwError(PW_CALL* GetCaption)(PwMenuItem* self, const char** caption);
  PwError(PW_CALL* SetCaption)(PwMenuItem* self, const char* caption);
  PwError(PW_CALL* SetHint)(PwMenuItem* self, const char* hint);
  PwError(PW_CALL* SetHelpContext)(PwMenuItem* self, int32_t help_context);
  /* 0 = no keyboard shortcut. */
  PwError(PW_CALL* SetShortCut)(PwMenuItem* self, uint16_t shortcut);
  /* handler NULL = no click action (a submenu or separator). */
  PwError(PW_CALL* SetOnClick)(PwMenuItem* self, PwClickHandler handler, void* context);
  PwError(PW_CALL* Count)(PwMenuItem* self, int32_t* count);
  PwError(PW_CALL* Item)(PwMenuItem* self, int32_t index, PwMenuItem** child);
  /* The first child whose caption equals caption, ignoring the "&"
     accelerator marker and letter case; *child = NULL when none. */
  PwError(PW_CALL* Find)(PwMenuItem* self, const char* caption, PwMenuItem** child);
} PwMenuItemVtbl;

struct PwMenuItem {
  const PwMenuItemVtbl* vtbl;
};

/* ---- The host's services ------------------------------------------------- */

typedef struct PwStationInfo {
  int32_t Number;      /* 0..100, also the station's TV slot */
  const char* Name;
  const char* Address;
} PwStationInfo;

typedef struct PwHostServices PwHostServices;

/* Thirteen slots in their fixed order; 2, 5, 9 and 11 are never called. */
typedef struct PwHostServicesVtbl {
  /* 0: 4 or more = the host accepts UpdateTableField. */
  PwError(PW_CALL* GetInterfaceVersion)(PwHostServices* self, int32_t* version);
  /* 1: the station's own name, sent to the office in the handshake. */
  PwError(PW_CALL* GetOwnName)(PwHostServices* self, const char** name);
  void* Unused2;
  /* 3: given a received request file, the full path of the report to send
     back; "" = no report. */
  PwError(PW_CALL* ProcessRequestFile)(PwHostServices* self, const char* request_path,
                                       const char** report_path);
  /* 4: the full path of the request file prepared for a station; "" = none. */
  PwError(PW_CALL* GetRequestFile)(PwHostServices* self, const char* station_name,
                                   const char** request_path);
  void* Unused5;
  /* 6: the host has taken the report when the call returns; *result unused. */
  PwError(PW_CALL* ProcessReportFile)(PwHostServices* self, const char* station_name,
                                      const char* report_path, const char** result);
  /* 7: root of the host's main menu. */
  PwError(PW_CALL* GetMainMenu)(PwHostServices* self, PwMenuItem** root);
  /* 8: a new item appended under parent (index is always -1). */
  PwError(PW_CALL* CreateMenuItem)(PwHostServices* self, PwMenuItem* parent, int32_t index,
                                   PwMenuItem** item);
  void* Unused9;
  /* 10: the station chosen in the office host (which is always 0). */
  PwError(PW_CALL* GetCurrentStation)(PwHostServices* self, int32_t which,
                                      const PwStationInfo** station);
  void* Unused11;
  /* 12: the host records the new address of that station. */
  PwError(PW_CALL* UpdateTableField)(PwHostServices* self, const char* table,
                                     const char* field, const char* station_name);
} PwHostServicesVtbl;

struct PwHostServices {
  const PwHostServicesVtbl* vtbl;
};

/* ---- The seven exports, in export order (their ordinals 1 to 7) --------- */

enum { PW_MODE_STATION = 0, PW_MODE_OFFICE = 1 };

/* A host looks the seven up by name (or by ordinal) with GetProcAddress or
   dlsym, as these pointer types:
     PwGetVersionProc get_version = (PwGetVersionProc)GetProcAddress(dll, "GetVersion"); */

/* Load: 0 = all settings read; 1 = an error while building the menu or
   reading the settings (the rest of Load was still done). */
typedef int32_t(PW_CALL* PwLoadProc)(uint32_t app_window, uint8_t mode, PwHostServices* host);
/* UnLoad: 0 = everything released; 1 = release stopped at an error. */
typedef int32_t(PW_CALL* PwUnLoadProc)(void);
typedef void(PW_CALL* PwAddMenusProc)(void);
/* AutoSendInet (station): starts the automatic exchange with the office,
   returns at once. */
typedef void(PW_CALL* PwAutoSendInetProc)(void);
/* RefreshPaswordData: re-reads PasswordEnable and Password from cnf.INI.
   0 = done, 1 = the settings file could not be read (the error is in the
   event log). */
typedef int32_t(PW_CALL* PwRefreshPaswordDataProc)(void);
/* GetVersion: "1.02 от 11.11.2008", Windows-1251, static storage. */
typedef const char*(PW_CALL* PwGetVersionProc)(void);
/* AutoSendInetFromOffice (office): requests the report of the station at
   address; the first argument is accepted and ignored. */
typedef void(PW_CALL* PwAutoSendInetFromOfficeProc)(int32_t ignored, const char* address);

/* The seven as functions, for a host linked to the plug-in and for the
   plug-in itself. On Windows only when asked for with PW_DECLARE_EXPORTS
   defined before this header: there GetVersion is also kernel32's (a
   different function), so a host that includes <windows.h>, in either
   order, must not see ours declared; it uses the pointer types above. */
#if !defined(_WIN32) || defined(PW_DECLARE_EXPORTS)
PW_EXPORT int32_t PW_CALL Load(uint32_t app_window, uint8_t mode, PwHostServices* host);
PW_EXPORT int32_t PW_CALL UnLoad(void);
PW_EXPORT void PW_CALL AddMenus(void);
PW_EXPORT void PW_CALL AutoSendInet(void);
PW_EXPORT int32_t PW_CALL RefreshPaswordData(void);
PW_EXPORT const char* PW_CALL GetVersion(void);
PW_EXPORT void PW_CALL AutoSendInetFromOffice(int32_t ignored, const char* address);
#endif

#ifdef __cplusplus
}
#endif

#endif /* PUMPWIRE_PLUGIN_H */
