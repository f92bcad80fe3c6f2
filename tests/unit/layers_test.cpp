// The layers of src/ as the include lines show them. Every folder under src/
// is one layer's part; a file may include only its own folder and the
// folders its layer is allowed to reach, all below it:
//
//   shell -> station, office, interactive, connection, settings
//         -> protocol -> services -> renderer -> ui, platform -> text, sync
//
// renderer: the native renderer of the window models (the Windows one in
// renderer/win32/, built on Windows only), installed by the shell at Load;
// it may include the OS's headers.
//
// Folders of one layer may include each other, but never both ways round.
// Only src/platform/ and src/renderer/ include OS headers.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace pw {
namespace {

namespace fs = std::filesystem;

// The layers, lowest first; "pumpwire" is the public header.
const std::vector<std::set<std::string>> kLayers = {
    {"text", "sync"},
    {"platform", "ui"},
    {"renderer"},
    {"pumpwire"},
    {"services"},
    {"protocol"},
    {"station", "office", "interactive", "connection", "settings"},
    {"shell"},
};

// What each folder may include besides its own folder and the layers below
// its own. ui and platform, one layer, stay apart: the window system is the
// OS's stand-in and the OS code knows no windows; ui needs nothing but text,
// the annotated locks, and the public header it implements for hosts
// (pumpwire/ui.h, which includes nothing of ours).
const std::map<std::string, std::set<std::string>> kExceptions = {
    {"ui", {"text", "sync", "pumpwire"}},
    {"platform", {"text", "sync"}},
    {"renderer", {"ui", "platform", "text", "sync", "pumpwire"}},
    {"pumpwire", {}},
};

int LayerOf(const std::string& folder) {
  for (std::size_t i = 0; i < kLayers.size(); ++i)
    if (kLayers[i].count(folder)) return static_cast<int>(i);
  return -1;
}

bool Allowed(const std::string& from, const std::string& to) {
  if (from == to) return true;
  if (const auto e = kExceptions.find(from); e != kExceptions.end()) return e->second.count(to) > 0;
  const int f = LayerOf(from);
  const int t = LayerOf(to);
  return t >= 0 && t <= f;
}

struct Include {
  std::string file;  // relative to the source tree
  int line;
  std::string target;  // as written between the quotes or brackets
  bool angle;
};

std::vector<Include> ReadIncludes(const fs::path& root) {
  static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
  std::vector<Include> found;
  for (const char* top : {"src", "include"}) {
    for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
      const std::string ext = entry.path().extension().string();
      if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
      std::ifstream in(entry.path());
      std::string text;
      for (int n = 1; std::getline(in, text); ++n) {
        std::smatch m;
        if (std::regex_search(text, m, kInclude))
          found.push_back(
              {fs::relative(entry.path(), root).generic_string(), n, m[2], m[1] == "<"});
      }
    }
  }
  return found;
}

// "src/station/inet_form.cpp" -> "station"; "include/pumpwire/plugin.h" ->
// "pumpwire".
std::string FolderOf(const std::string& file) {
  const auto a = file.find('/');
  const auto b = file.find('/', a + 1);
  return file.substr(a + 1, b - a - 1);
}

TEST(Layers, EveryIncludePointsDownAndOnlyThePlatformIncludesTheOs) {
  const std::vector<Include> includes = ReadIncludes(PUMPWIRE_SOURCE_DIR);
  ASSERT_GT(includes.size(), 100u);  // the tree was found and read

  std::set<std::pair<std::string, std::string>> arrows;
  for (const Include& inc : includes) {
    const std::string from = FolderOf(inc.file);
    const std::string where = inc.file + ":" + std::to_string(inc.line) + " includes " + inc.target;
    EXPECT_GE(LayerOf(from), 0) << where << ": folder " << from << " is in no layer";
    const auto slash = inc.target.find('/');
    // One of our folders, whichever quotes name it.
    const bool ours = slash != std::string::npos && LayerOf(inc.target.substr(0, slash)) >= 0;
    if (inc.angle && !ours) {
      // The C++ library's headers have neither an extension nor a folder.
      // The picture libraries are portable C libraries, not the OS.
      const bool library = inc.target == "gif_lib.h" || inc.target == "jpeglib.h";
      const bool os = !library && inc.target.find_first_of("./") != std::string::npos;
      EXPECT_TRUE(!os || from == "platform" || from == "renderer" || from == "pumpwire") << where;
      continue;
    }
    if (slash == std::string::npos) continue;  // beside the including file
    const std::string to = inc.target.substr(0, slash);
    EXPECT_TRUE(Allowed(from, to)) << where << ": " << from << " may not include " << to;
    if (from != to) arrows.insert({from, to});
  }
  for (const auto& [from, to] : arrows)
    EXPECT_FALSE(arrows.count({to, from})) << from << " and " << to << " include each other";
}

// Each OS's headers stay in its own backend folder; the portable platform
// files include none but those of the libraries they wrap.
TEST(Layers, EachBackendIncludesOnlyItsOwnOs) {
  static const std::regex kWindows(
      R"((windows|winsock2|ws2tcpip|mswsock|iphlpapi|wininet|ras|rasdlg|raserror|shellapi)\.h)",
      std::regex::icase);
  static const std::regex kPosix(
      R"((unistd|poll|dlfcn|spawn|netdb|ifaddrs|pthread)\.h|(sys|netinet|arpa|net|X11)/.*)");
  // The libraries the portable platform files wrap: the station table, the
  // GIF and JPEG files.
  static const std::set<std::string> kLibraries = {"sqlite3.h", "gif_lib.h", "jpeglib.h"};
  for (const Include& inc : ReadIncludes(PUMPWIRE_SOURCE_DIR)) {
    if (!inc.angle || inc.file.rfind("src/platform/", 0) != 0) continue;
    if (inc.target.find_first_of("./") == std::string::npos) continue;  // the C++ library
    const std::string where = inc.file + ":" + std::to_string(inc.line) + " includes " + inc.target;
    if (inc.file.rfind("src/platform/win32/", 0) == 0)
      EXPECT_FALSE(std::regex_match(inc.target, kPosix)) << where;
    else if (inc.file.rfind("src/platform/posix/", 0) == 0)
      EXPECT_FALSE(std::regex_match(inc.target, kWindows)) << where;
    else
      EXPECT_TRUE(kLibraries.count(inc.target)) << where;
  }
}

// Calls line(file, number, text) for every line of the C++ files under the
// folders tops of the source tree; returns how many files it read.
int ForEachSourceLine(std::initializer_list<const char*> tops,
                      const std::function<void(const std::string&, int, const std::string&)>& line) {
  const fs::path root = PUMPWIRE_SOURCE_DIR;
  int files = 0;
  for (const char* top : tops) {
    for (const auto& entry : fs::recursive_directory_iterator(root / top)) {
      const std::string ext = entry.path().extension().string();
      if (!entry.is_regular_file() || (ext != ".h" && ext != ".cpp")) continue;
      const std::string file = fs::relative(entry.path(), root).generic_string();
      if (file == "tests/unit/layers_test.cpp") continue;
      ++files;
      std::ifstream in(entry.path());
      std::string text;
      for (int n = 1; std::getline(in, text); ++n) line(file, n, text);
    }
  }
  return files;
}

// Which OS is being built for is asked only in src/platform/ (and in the
// public header, for the calling convention).
TEST(Layers, OnlyThePlatformAsksWhichOsItIs) {
  const int files = ForEachSourceLine({"src", "host", "tests", "bench"},
                                      [](const std::string& file, int n, const std::string& text) {
    if (file.rfind("src/platform/", 0) == 0) return;
    EXPECT_EQ(text.find("_WIN32"), std::string::npos) << file << ":" << n;
  });
  EXPECT_GT(files, 50);
}

// Every lock is one the thread-safety analysis knows (sync/mutex.h): a
// field guarded by a bare std::mutex cannot be checked.
TEST(Layers, EveryLockIsTheAnnotatedOne) {
  static const std::regex kBareLock(R"(std::(mutex|recursive_mutex|shared_mutex|lock_guard|unique_lock|scoped_lock)\b)");
  const int files = ForEachSourceLine({"src", "host", "app", "tests", "bench", "fuzz"},
                                      [](const std::string& file, int n, const std::string& text) {
    if (file.rfind("src/sync/", 0) == 0) return;
    const std::string code = text.substr(0, text.find("//"));
    EXPECT_FALSE(std::regex_search(code, kBareLock)) << file << ":" << n << ": " << text;
  });
  EXPECT_GT(files, 100);
}

TEST(Layers, TheTableRefusesUpwardArrowsAndKeepsTheWindowSystemApartFromTheOs) {
  EXPECT_TRUE(Allowed("shell", "station"));
  EXPECT_TRUE(Allowed("station", "protocol"));
  EXPECT_TRUE(Allowed("station", "interactive"));
  EXPECT_TRUE(Allowed("protocol", "services"));
  EXPECT_TRUE(Allowed("services", "pumpwire"));
  EXPECT_TRUE(Allowed("services", "ui"));
  EXPECT_FALSE(Allowed("services", "shell"));
  EXPECT_FALSE(Allowed("protocol", "station"));
  EXPECT_FALSE(Allowed("station", "shell"));
  EXPECT_FALSE(Allowed("ui", "platform"));
  EXPECT_FALSE(Allowed("platform", "ui"));
  EXPECT_FALSE(Allowed("platform", "services"));
  EXPECT_FALSE(Allowed("text", "platform"));
  EXPECT_FALSE(Allowed("pumpwire", "text"));
  EXPECT_FALSE(Allowed("nowhere", "text"));
}

}  // namespace
}  // namespace pw
