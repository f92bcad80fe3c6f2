/*
 * Pumpwire window system, host side (libpumpwire-ui / pumpwire-ui.dll).
 *
 * The plug-in shows its windows and message boxes through this library, as
 * a program shows them through the OS's window system: today these are
 * headless models, which a host sees and drives through the calls below.
 * The plug-in touches its windows only on the main thread, and its worker
 * threads hand work to that thread and wait for it: a host makes its
 * user-interface thread the main thread before it calls Load, and keeps
 * running the main loop (pw_ui_run_for) between its own calls, or the
 * plug-in's workers wait forever.
 *
 * Plain C, like plugin.h. Texts are NUL-terminated Windows-1251. A text is
 * copied into the caller's buffer of size bytes (at most size - 1 of them,
 * then a NUL); the call returns the text's whole length, so a bigger
 * buffer can be tried, or -1 when the window or control does not exist.
 * Windows are numbered 0 .. pw_ui_window_count() - 1 in the order they were
 * made; the numbers hold until a window is made or destroyed. Every call
 * but pw_ui_wake and pw_ui_queue_answer belongs on the main thread.
 *
 * Not here yet: the menus of the plug-in's own windows and keys pressed in
 * a control (pumpwire-host reaches them through the C++ classes).
 *
 * The C++ classes behind it (src/ui/: dispatcher.h, window.h, operator.h)
 * are the plug-in's own and are not installed.
 */
#ifndef PUMPWIRE_UI_H
#define PUMPWIRE_UI_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The calling thread becomes the main thread, or gives that up. */
void pw_ui_attach_main_thread(void);
void pw_ui_detach_main_thread(void);

/* Runs the main thread's work (what the plug-in's threads hand over, its
 * timers) for ms milliseconds, or until pw_ui_wake is called from any
 * thread. */
void pw_ui_run_for(int32_t ms);
void pw_ui_wake(void);

/* Message boxes: the answer the next box takes (with none queued, a box
 * takes its first button), and who hears of each box and its answer. */
enum { PW_UI_OK = 0, PW_UI_CANCEL = 1, PW_UI_YES = 2, PW_UI_NO = 3 };
void pw_ui_queue_answer(int32_t answer);
typedef void (*PwUiBoxObserver)(void* context, const char* caption, const char* text, int32_t answer);
void pw_ui_set_box_observer(PwUiBoxObserver observer, void* context);

/* The operator's part in the plug-in's own dialogs: what is typed into the
 * next text prompt (replacing its text), and the file the next file-open
 * dialog picks (none queued: the dialog is cancelled). Any thread. */
void pw_ui_queue_text(const char* text);
void pw_ui_queue_chosen_file(const char* path);

/* Windows. */
int32_t pw_ui_window_count(void);
int32_t pw_ui_window_class(int32_t window, char* buffer, int32_t size);
int32_t pw_ui_window_caption(int32_t window, char* buffer, int32_t size);
/* 1 shown, 0 hidden, -1 no such window. */
int32_t pw_ui_window_visible(int32_t window);

/* A window's controls, numbered as they were made. */
int32_t pw_ui_control_count(int32_t window);
int32_t pw_ui_control_name(int32_t window, int32_t control, char* buffer, int32_t size);
int32_t pw_ui_control_text(int32_t window, int32_t control, char* buffer, int32_t size);
/* 0 done, -1 no such control. */
int32_t pw_ui_control_set_text(int32_t window, int32_t control, const char* text);
int32_t pw_ui_control_click(int32_t window, int32_t control);

#ifdef __cplusplus
}
#endif

#endif /* PUMPWIRE_UI_H */
