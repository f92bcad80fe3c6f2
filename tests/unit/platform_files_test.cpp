// The file and environment calls of the platform seam, the same on every OS:
// Windows-1251 names, replacing writes, pieces and the folders' separators.
#include "platform/files.h"

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "platform/environment.h"
#include "platform/error.h"
#include "temp_folder.h"
#include "text/cp1251.h"

namespace pw {
namespace {

using platform::kPathSeparator;

class PlatformFilesTest : public ::testing::Test {
 protected:
  void SetUp() override { base_ = test::NewTemporaryFolder("pw-files-"); }
  void TearDown() override { std::filesystem::remove_all(base_); }

  // base_/name..., joined with this OS's separator; names are Windows-1251.
  std::string Path(std::initializer_list<std::string> names) const {
    std::string path = base_;
    for (const std::string& name : names) path += kPathSeparator + name;
    return path;
  }
  // The names on disk in a folder, as UTF-8.
  static std::set<std::string> NamesIn(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      const std::u8string name = entry.path().filename().u8string();
      names.emplace(name.begin(), name.end());
    }
    return names;
  }

  std::string base_;  // ASCII, so both std::filesystem and the platform read it alike
};

TEST_F(PlatformFilesTest, CyrillicNamesReachTheDiskAsTheirLetters) {
  const std::string folder = Path({std::string("Папка"_w), std::string("ещё"_w)});
  platform::CreateDirectories(folder);
  platform::CreateDirectories(folder + kPathSeparator);  // there already: no error
  EXPECT_TRUE(platform::DirectoryExists(folder));
  EXPECT_FALSE(platform::FileExists(folder));

  const std::string file = folder + kPathSeparator + std::string("файл № 1.txt"_w);
  platform::WriteFileReplacing(file, "первый"_w);
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_FALSE(platform::DirectoryExists(file));
  EXPECT_EQ(platform::ReadWholeFile(file), std::string("первый"_w));
  EXPECT_EQ(NamesIn(base_), std::set<std::string>{"Папка"});
  EXPECT_EQ(NamesIn(std::filesystem::path(base_) / u8"Папка" / u8"ещё"),
            std::set<std::string>{"файл № 1.txt"});
}

TEST_F(PlatformFilesTest, ReplacingAppendingRenamingAndReadingFromAnOffset) {
  const std::string file = Path({"report.txt"});
  platform::WriteFileReplacing(file, "first, longer");
  platform::WriteFileReplacing(file, "second");
  EXPECT_EQ(platform::ReadWholeFile(file), "second");
  EXPECT_EQ(NamesIn(base_), std::set<std::string>{"report.txt"}) << "no temporary left behind";

  platform::AppendToFile(file, "+tail");
  platform::AppendToFile(Path({"new.log"}), "made by the append");
  EXPECT_EQ(platform::ReadWholeFile(file), "second+tail");
  EXPECT_EQ(platform::ReadWholeFile(Path({"new.log"})), "made by the append");
  EXPECT_EQ(platform::FileSize(file).value_or(0), 11u);
  EXPECT_EQ(platform::ReadFileFrom(file, 6), "+tail");
  EXPECT_EQ(platform::ReadFileFrom(file, 11), "");
  EXPECT_EQ(platform::ReadFileFrom(file, 100), "") << "past the end is no error";

  platform::RenameReplacing(Path({"new.log"}), file);
  EXPECT_FALSE(platform::FileExists(Path({"new.log"})));
  EXPECT_EQ(platform::ReadWholeFile(file), "made by the append");
  EXPECT_THROW(platform::RenameReplacing(Path({"new.log"}), file), Error);
  EXPECT_EQ(platform::ReadWholeFile(file), "made by the append") << "a failed rename keeps the target";
}

TEST_F(PlatformFilesTest, PieceByPieceFilesAndTheirErrors) {
  const std::string file = Path({"pieces.dat"});
  {
    platform::WritableFile out(file);
    out.Write("abc", 3);
    out.Write("defgh", 5);
    out.Close();
    EXPECT_THROW(out.Write("x", 1), Error) << "written after Close";
  }
  {
    platform::ReadableFile in(file);
    std::string got;
    char buf[3];
    while (const std::size_t n = in.Read(buf, sizeof buf)) got.append(buf, n);
    EXPECT_EQ(got, "abcdefgh");
    EXPECT_EQ(in.Read(buf, sizeof buf), 0u);
  }
  {
    // At an offset, from the open file, as big as it is now; past the end, nothing.
    platform::ReadableFile in(file);
    char buf[8] = {};
    EXPECT_EQ(in.Size(), 8u);
    EXPECT_EQ(in.ReadAt(5, buf, sizeof buf), 3u);
    EXPECT_EQ(std::string(buf, 3), "fgh");
    EXPECT_EQ(in.ReadAt(2, buf, 2), 2u);
    EXPECT_EQ(std::string(buf, 2), "cd");
    EXPECT_EQ(in.ReadAt(8, buf, sizeof buf), 0u);
    EXPECT_EQ(in.ReadAt(100, buf, sizeof buf), 0u);
    EXPECT_EQ(in.path(), file);
  }
  {
    // Room set aside is not content: the file holds what was written.
    platform::WritableFile reserved(Path({"reserved.dat"}));
    reserved.Reserve(1 << 20);
    reserved.Write("abc", 3);
    reserved.Close();
    EXPECT_EQ(platform::FileSize(Path({"reserved.dat"})), 3u);
  }
  {
    platform::WritableFile again(file);  // made anew, not appended to
    again.Write("z", 1);
  }
  EXPECT_EQ(platform::ReadWholeFile(file), "z");

  EXPECT_THROW({ platform::ReadableFile in(Path({"missing.dat"})); }, Error);
  EXPECT_THROW(platform::ReadWholeFile(Path({"missing.dat"})), Error);
  EXPECT_THROW({ platform::WritableFile out(Path({"no folder", "x.dat"})); }, Error);
  try {
    platform::ReadWholeFile(Path({"missing.dat"}));
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find(Path({"missing.dat"})), std::string::npos)
        << "the text names the path: " << e.what();
  }
}

TEST_F(PlatformFilesTest, SizesAndRemovalOfWhatIsNotThere) {
  EXPECT_FALSE(platform::FileSize(Path({"missing.dat"})).has_value());
  EXPECT_FALSE(platform::FileSize(Path({"no folder", "missing.dat"})).has_value());
  // A folder where a file is looked for (a log path made a folder) is no
  // error: it has a size like anything else that opens.
  EXPECT_TRUE(platform::FileSize(base_).has_value());
  platform::RemoveFile(Path({"missing.dat"}));

  const std::string blocker = Path({"blocker"});
  platform::WriteFileReplacing(blocker, "a file");
  EXPECT_THROW(platform::CreateDirectories(blocker), Error);
  EXPECT_THROW(platform::CreateDirectories(blocker + kPathSeparator + "deeper"), Error);
  platform::RemoveFile(blocker);
  EXPECT_FALSE(platform::FileExists(blocker));

  EXPECT_GT(platform::FreeSpace(base_), 0u);
  EXPECT_THROW(platform::FreeSpace(Path({"no folder"})), Error);
}

// A temporary is made beside its target under a random name of the
// temporaries' pattern, only where no file has that name; Load clears what
// has the pattern and nothing else.
TEST_F(PlatformFilesTest, TemporariesAreMadeAnewUnderRandomNamesAndClearedByTheirPattern) {
  const std::string target = Path({"report.dat"});
  platform::WritableFile a = platform::CreateTemporaryBeside(target);
  platform::WritableFile b = platform::CreateTemporaryBeside(target);
  EXPECT_EQ(a.path().rfind(base_ + kPathSeparator, 0), 0u) << a.path();
  const std::string a_name = a.path().substr(base_.size() + 1);
  EXPECT_TRUE(platform::IsTemporaryName(a_name)) << a_name;
  EXPECT_EQ(a_name.size(), std::string("~pw0123456789abcdef.tmp").size()) << a_name;
  EXPECT_NE(a.path(), b.path());
  a.Write("kept", 4);
  a.Close();
  // A name that is taken is never opened again, not even by its own kind.
  EXPECT_FALSE(platform::WritableFile::CreateNew(a.path()).has_value());
  EXPECT_EQ(platform::ReadWholeFile(a.path()), "kept");
  EXPECT_THROW(platform::WritableFile::CreateNew(Path({"no folder", "x.tmp"})), Error);
  b.Close();

  platform::WriteFileReplacing(Path({"~PW0A1B2~1.TMP"}), "a short name's form");
  platform::WriteFileReplacing(Path({"report.tmp"}), "not ours");
  platform::WriteFileReplacing(Path({"~pw-notes.txt"}), "not ours");
  platform::CreateDirectories(Path({"~pwfolder.tmp"}));  // a folder: not touched
  EXPECT_EQ(platform::RemoveTemporaries(base_), 3u);
  EXPECT_EQ(NamesIn(base_), (std::set<std::string>{"report.tmp", "~pw-notes.txt", "~pwfolder.tmp"}));
  EXPECT_EQ(platform::RemoveTemporaries(Path({"no folder"})), 0u);

  // One still being written (by another instance on the same folders) stays.
  platform::WritableFile open = platform::CreateTemporaryBeside(target);
  open.Write("half", 4);
  EXPECT_EQ(platform::RemoveTemporaries(base_), 0u);
  open.Close();
  EXPECT_EQ(platform::RemoveTemporaries(base_), 1u);
}

// The folders come from the environment and always end with a separator; a
// root given with "/" keeps it.
TEST(PlatformEnvironment, FoldersFollowTheEnvironment) {
  platform::SetEnvironmentValue("PUMPWIRE_WINDIR", nullptr);
  platform::SetEnvironmentValue("PUMPWIRE_ROOT", "some/where/");
  EXPECT_EQ(platform::InstallationFolder(), "some/where/");
  EXPECT_EQ(platform::SettingsFolder(), "some/where/") << "the settings go with the root";
  platform::SetEnvironmentValue("PUMPWIRE_ROOT", "АЗС");
  EXPECT_EQ(platform::InstallationFolder(), std::string("АЗС"_w) + kPathSeparator);
  ASSERT_NE(std::getenv("PUMPWIRE_ROOT"), nullptr) << "the C runtime sees the value too";

  platform::SetEnvironmentValue("PUMPWIRE_WINDIR", "settings");
  EXPECT_EQ(platform::SettingsFolder(), std::string("settings") + kPathSeparator);
  platform::SetEnvironmentValue("PUMPWIRE_WINDIR", "");
  EXPECT_EQ(platform::SettingsFolder(), platform::InstallationFolder()) << "empty counts as unset";

  platform::SetEnvironmentValue("PUMPWIRE_ROOT", nullptr);
  platform::SetEnvironmentValue("PUMPWIRE_WINDIR", nullptr);
  EXPECT_EQ(std::getenv("PUMPWIRE_ROOT"), nullptr);
  EXPECT_EQ(std::getenv("PUMPWIRE_WINDIR"), nullptr);
  EXPECT_EQ(platform::InstallationFolder().back(), kPathSeparator);
  EXPECT_EQ(platform::SettingsFolder().back(), kPathSeparator);
}

}  // namespace
}  // namespace pw
