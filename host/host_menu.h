// The host's main menu: a tree of items the plug-in finds and appends to.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pumpwire/plugin.h"

namespace pw::host {

class HostMenuItem : public PwMenuItem {
 public:
  explicit HostMenuItem(std::string caption = {});

  std::string caption;  // Windows-1251
  std::string hint;
  int help_context = 0;
  unsigned shortcut = 0;
  PwClickHandler on_click = nullptr;
  void* click_context = nullptr;
  std::vector<std::unique_ptr<HostMenuItem>> children;

  HostMenuItem& Append(std::string child_caption = {});
  // The first child whose caption matches, ignoring "&" and letter case (and
  // surrounding blanks when trim); nullptr if none.
  HostMenuItem* Find(const std::string& wanted, bool trim = false) const;
  // Follows captions joined by ">" from this item down, ignoring surrounding
  // blanks too.
  HostMenuItem* FindPath(const std::string& path) const;

  // Runs the click handler; false when the item has none.
  bool Click() const;
};

// Captions compare after dropping "&" (and surrounding blanks when trim),
// without regard to letter case (Latin and Cyrillic).
std::string CaptionKey(const std::string& caption, bool trim);

}  // namespace pw::host
