#include "platform/own_listeners.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace pw::platform {

namespace {

// The socket inodes of this process's open descriptors ("socket:[N]").
std::set<std::string> OwnSocketInodes() {
  std::set<std::string> inodes;
  DIR* fds = ::opendir("/proc/self/fd");
  if (fds == nullptr) return inodes;
  while (const dirent* e = ::readdir(fds)) {
    const std::string link = std::string("/proc/self/fd/") + e->d_name;
    char target[64];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    const std::string t(target, static_cast<std::size_t>(n));
    if (t.rfind("socket:[", 0) == 0 && t.back() == ']') inodes.insert(t.substr(8, t.size() - 9));
  }
  ::closedir(fds);
  return inodes;
}

// Lines of /proc/net/tcp: "sl local_address rem_address st ... inode ...",
// the port in hexadecimal after the address's colon, st 0A for LISTEN.
void AddListening(const char* table, const std::set<std::string>& inodes, std::set<int>& ports) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);  // the heading
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string sl, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> sl >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
    if (state != "0A" || inodes.count(inode) == 0) continue;
    const std::size_t colon = local.rfind(':');
    if (colon == std::string::npos) continue;
    ports.insert(std::stoi(local.substr(colon + 1), nullptr, 16));
  }
}

}  // namespace

std::vector<int> OwnListeningPorts() {
  const std::set<std::string> inodes = OwnSocketInodes();
  std::set<int> ports;
  AddListening("/proc/self/net/tcp", inodes, ports);
  AddListening("/proc/self/net/tcp6", inodes, ports);
  return {ports.begin(), ports.end()};
}

}  // namespace pw::platform
