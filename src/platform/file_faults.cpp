#include <atomic>

#include "platform/files.h"

namespace pw::platform {

namespace {
std::atomic<FileFaultPlan*> g_plan{nullptr};
}  // namespace

void InstallFileFaultPlan(FileFaultPlan* plan) noexcept { g_plan.store(plan, std::memory_order_release); }

bool FileCallFails(FileCall call, const std::string& path) noexcept {
  FileFaultPlan* plan = g_plan.load(std::memory_order_relaxed);
  if (plan == nullptr) return false;
  std::atomic_thread_fence(std::memory_order_acquire);
  if (path.compare(0, plan->under.size(), plan->under) != 0) return false;
  const std::size_t kind = static_cast<std::size_t>(call);
  return plan->seen[kind].fetch_add(1) + 1 == plan->fail_at[kind];
}

}  // namespace pw::platform
