// A connection library for the tests, scripted through the environment:
//   FAKE_DIALGATE_ANSWERS  e.g. "Connect=1 GetConnectState=1": what each entry
//                          point answers (1 or 0; one not named answers 0)
//   FAKE_DIALGATE_LOG      a file that gets "load" when the library is loaded,
//                          "NAME CODE" for every call and "unload" at the end
// Built once whole and once without Connect and GetConnectState, to stand for
// a library that lacks entry points.
// Plain C library calls only: a C++ library template would mark this library
// as never unloaded, and the tests watch it go.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/connection_library.h"  // the entry points' calling convention

namespace {

void Note(const char* line) {
  const char* path = std::getenv("FAKE_DIALGATE_LOG");
  if (path == nullptr || *path == '\0') return;
  if (std::FILE* f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line);
    std::fclose(f);
  }
}

unsigned char Answer(const char* name, unsigned char code) {
  char line[64];
  std::snprintf(line, sizeof line, "%s %u", name, static_cast<unsigned>(code));
  Note(line);
  const char* answers = std::getenv("FAKE_DIALGATE_ANSWERS");
  if (answers == nullptr) return 0;
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "%s=1", name);
  const std::size_t n = std::strlen(wanted);
  for (const char* at = std::strstr(answers, wanted); at != nullptr; at = std::strstr(at + 1, wanted))
    if ((at == answers || at[-1] == ' ') && (at[n] == '\0' || at[n] == ' ')) return 1;
  return 0;
}

struct LoadMarks {
  LoadMarks() { Note("load"); }
  ~LoadMarks() { Note("unload"); }
} marks;

}  // namespace

#define FAKE_ENTRY(name) \
  extern "C" __attribute__((visibility("default"))) unsigned char PW_CONNECTION_CALL name( \
      unsigned char code) {                                                                 \
    return Answer(#name, code);                                                             \
  }

#ifndef FAKE_DIALGATE_PARTIAL
FAKE_ENTRY(Connect)
FAKE_ENTRY(GetConnectState)
#endif
FAKE_ENTRY(Disconnect)
FAKE_ENTRY(AutoDisconnectValue)
