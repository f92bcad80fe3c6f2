// The shipped 32-bit DLL carries the GCC runtime inside, and with it an
// unwinder of its own that reads DWARF tables (not the system's unwinding, as
// on 64-bit). When the DLL is loaded, GCC's start-up code hands the DLL's
// tables to libgcc_s_dw2-1.dll instead of that unwinder if the process has
// loaded libgcc_s_dw2-1.dll already (any host built with MinGW's shared
// runtime): the DLL's own unwinder then knows none of its frames, and the
// first exception the DLL throws ends the process. Here the same tables are
// handed to the DLL's own unwinder as well, found through the one that got
// them.
#include <windows.h>

#include <cstdint>

extern "C" {
void __register_frame_info(const void* begin, void* object);
void* __deregister_frame_info(const void* begin);
}

namespace {

HMODULE OwnModule() {
  HMODULE module = nullptr;
  ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

// The start of the section of the module that holds address: the tables'
// section, which the unwinder reads from its start to the end marker.
const void* SectionStartHolding(HMODULE module, const void* address) {
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const std::uintptr_t rva = reinterpret_cast<std::uintptr_t>(address) - reinterpret_cast<std::uintptr_t>(base);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (rva >= section->VirtualAddress && rva < section->VirtualAddress + section->Misc.VirtualSize)
      return base + section->VirtualAddress;
  }
  return nullptr;
}

struct DwarfBases {
  void* text;
  void* data;
  void* function;
};
using FindFde = const void* (*)(void* pc, DwarfBases* bases);

class OwnUnwindTables {
 public:
  OwnUnwindTables() {
    HMODULE shared = ::GetModuleHandleW(L"libgcc_s_dw2-1.dll");
    if (shared == nullptr) return;  // the start-up code gave them to ours
    // Through the type-less function pointer, as any found by name.
    auto find = reinterpret_cast<FindFde>(
        reinterpret_cast<void (*)()>(::GetProcAddress(shared, "_Unwind_Find_FDE")));
    if (find == nullptr) return;
    DwarfBases bases{};
    const void* entry = find(reinterpret_cast<void*>(&OwnModule), &bases);
    if (entry == nullptr) return;
    begin_ = SectionStartHolding(OwnModule(), entry);
    if (begin_ != nullptr) __register_frame_info(begin_, object_);
  }
  ~OwnUnwindTables() {
    if (begin_ != nullptr) __deregister_frame_info(begin_);
  }
  OwnUnwindTables(const OwnUnwindTables&) = delete;
  OwnUnwindTables& operator=(const OwnUnwindTables&) = delete;

 private:
  const void* begin_ = nullptr;
  void* object_[16] = {};  // the unwinder's record of the tables (six words on 32-bit)
};

// Before any other static object of the DLL, which may throw.
OwnUnwindTables own_unwind_tables __attribute__((init_priority(101)));

}  // namespace
