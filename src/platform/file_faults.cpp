#include <atomic>
#include <thread>

#include "platform/files.h"

namespace pw::platform {

namespace {
std::atomic<FileFaultPlan*> g_plan{nullptr};
// Calls looking at the plan right now: a plan is let go only once none is.
std::atomic<int> g_lookers{0};
}  // namespace

void InstallFileFaultPlan(FileFaultPlan* plan) noexcept {
  g_plan.store(plan);
  // A call that took the plan before the store finishes with it within a
  // few instructions; one that comes after sees the new one.
  while (g_lookers.load() != 0) std::this_thread::yield();
}

bool FileCallFails(FileCall call, const std::string& path) noexcept {
  if (g_plan.load(std::memory_order_relaxed) == nullptr) return false;
  g_lookers.fetch_add(1);
  bool fails = false;
  if (FileFaultPlan* plan = g_plan.load();
      plan != nullptr && path.compare(0, plan->under.size(), plan->under) == 0) {
    const std::size_t kind = static_cast<std::size_t>(call);
    fails = plan->seen[kind].fetch_add(1) + 1 == plan->fail_at[kind];
  }
  g_lookers.fetch_sub(1);
  return fails;
}

}  // namespace pw::platform
