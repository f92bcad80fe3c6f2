/* A host in plain C: proves that plugin.h and ui.h are all a host needs.
 * It serves the plug-in a menu and the least of the host's services, makes
 * its thread the main thread, loads the plug-in in the mode given, runs the
 * main loop a moment, lists the windows the plug-in made with their
 * controls, answers nothing, and unloads. The installation and settings
 * folders come from PUMPWIRE_ROOT and PUMPWIRE_WINDIR. */
#include <stdio.h>
#include <string.h>

#include "pumpwire/plugin.h"
#include "pumpwire/ui.h"

/* ---- Menu items: a fixed pool, children by index ------------------------ */

enum { kMaxItems = 128, kMaxChildren = 32, kMaxText = 128 };

typedef struct Item {
  PwMenuItem base; /* first, so a PwMenuItem* is an Item* */
  char caption[kMaxText];
  int children[kMaxChildren];
  int child_count;
} Item;

static Item items[kMaxItems];
static int item_count = 0;

static Item* AsItem(PwMenuItem* p) { return (Item*)p; }

static PwError PW_CALL GetCaption(PwMenuItem* self, const char** caption) {
  *caption = AsItem(self)->caption;
  return NULL;
}
static PwError PW_CALL SetCaption(PwMenuItem* self, const char* caption) {
  snprintf(AsItem(self)->caption, kMaxText, "%s", caption);
  return NULL;
}
static PwError PW_CALL SetHint(PwMenuItem* self, const char* hint) {
  (void)self;
  (void)hint;
  return NULL;
}
static PwError PW_CALL SetHelpContext(PwMenuItem* self, int32_t help_context) {
  (void)self;
  (void)help_context;
  return NULL;
}
static PwError PW_CALL SetShortCut(PwMenuItem* self, uint16_t shortcut) {
  (void)self;
  (void)shortcut;
  return NULL;
}
static PwError PW_CALL SetOnClick(PwMenuItem* self, PwClickHandler handler, void* context) {
  (void)self;
  (void)handler;
  (void)context;
  return NULL;
}
static PwError PW_CALL Count(PwMenuItem* self, int32_t* count) {
  *count = AsItem(self)->child_count;
  return NULL;
}
static PwError PW_CALL ItemAt(PwMenuItem* self, int32_t index, PwMenuItem** child) {
  if (index < 0 || index >= AsItem(self)->child_count) return "no such item";
  *child = &items[AsItem(self)->children[index]].base;
  return NULL;
}
/* Captions compared as they are: enough for this host's own menu. */
static PwError PW_CALL Find(PwMenuItem* self, const char* caption, PwMenuItem** child) {
  *child = NULL;
  for (int i = 0; i < AsItem(self)->child_count; ++i)
    if (strcmp(items[AsItem(self)->children[i]].caption, caption) == 0)
      *child = &items[AsItem(self)->children[i]].base;
  return NULL;
}

static const PwMenuItemVtbl item_vtbl = {GetCaption, SetCaption, SetHint, SetHelpContext,
                                         SetShortCut, SetOnClick, Count,   ItemAt, Find};

static PwMenuItem* NewItem(void) {
  if (item_count == kMaxItems) return NULL;
  Item* item = &items[item_count++];
  item->base.vtbl = &item_vtbl;
  return &item->base;
}

/* ---- The host's services ----------------------------------------------- */

static PwError PW_CALL GetInterfaceVersion(PwHostServices* self, int32_t* version) {
  (void)self;
  *version = 4;
  return NULL;
}
static PwError PW_CALL GetOwnName(PwHostServices* self, const char** name) {
  (void)self;
  *name = "C host";
  return NULL;
}
static PwError PW_CALL ProcessRequestFile(PwHostServices* self, const char* request, const char** report) {
  (void)self;
  (void)request;
  *report = "";
  return NULL;
}
static PwError PW_CALL GetRequestFile(PwHostServices* self, const char* station, const char** request) {
  (void)self;
  (void)station;
  *request = "";
  return NULL;
}
static PwError PW_CALL ProcessReportFile(PwHostServices* self, const char* station, const char* report,
                                         const char** result) {
  (void)self;
  (void)station;
  (void)report;
  *result = "";
  return NULL;
}
static PwError PW_CALL GetMainMenu(PwHostServices* self, PwMenuItem** root) {
  (void)self;
  *root = &items[0].base;
  return NULL;
}
static PwError PW_CALL CreateMenuItem(PwHostServices* self, PwMenuItem* parent, int32_t index,
                                      PwMenuItem** item) {
  (void)self;
  (void)index;
  Item* p = AsItem(parent);
  if (p->child_count == kMaxChildren || (*item = NewItem()) == NULL) return "the menu is full";
  p->children[p->child_count++] = (int)(AsItem(*item) - items);
  return NULL;
}
static const PwStationInfo station = {1, "АЗС", "127.0.0.1"};
static PwError PW_CALL GetCurrentStation(PwHostServices* self, int32_t which, const PwStationInfo** info) {
  (void)self;
  (void)which;
  *info = &station;
  return NULL;
}
static PwError PW_CALL UpdateTableField(PwHostServices* self, const char* table, const char* field,
                                        const char* name) {
  (void)self;
  (void)table;
  (void)field;
  (void)name;
  return NULL;
}

static const PwHostServicesVtbl host_vtbl = {
    GetInterfaceVersion, GetOwnName,     NULL, ProcessRequestFile, GetRequestFile,    NULL,
    ProcessReportFile,   GetMainMenu,    CreateMenuItem, NULL,     GetCurrentStation, NULL,
    UpdateTableField};
static PwHostServices host = {&host_vtbl};

int main(int argc, char** argv) {
  const uint8_t mode = argc > 1 && strcmp(argv[1], "office") == 0 ? PW_MODE_OFFICE : PW_MODE_STATION;
  char text[256];
  NewItem(); /* the root of the main menu */
  pw_ui_attach_main_thread();
  printf("Load: %d\n", (int)Load(0, mode, &host));
  pw_ui_run_for(50);
  printf("menu items: %d\n", item_count - 1);
  for (int32_t w = 0; w < pw_ui_window_count(); ++w) {
    pw_ui_window_class(w, text, (int32_t)sizeof text);
    printf("window: %s visible %d controls %d\n", text, (int)pw_ui_window_visible(w),
           (int)pw_ui_control_count(w));
    for (int32_t c = 0; c < pw_ui_control_count(w); ++c) {
      pw_ui_control_name(w, c, text, (int32_t)sizeof text);
      printf("  control: %s\n", text);
    }
  }
  printf("UnLoad: %d\n", (int)UnLoad());
  pw_ui_detach_main_thread();
  return 0;
}
