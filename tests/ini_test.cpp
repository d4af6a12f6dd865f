#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "effect/inifile.h"
#include "ini/ini_store.h"
#include "tests/support/TempFolder.h"
#include "tests/support/UnprivilegedUser.h"

namespace fs = std::filesystem;

using namespace quillon;

namespace {

std::string readFile(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& contents)
{
  std::ofstream(path, std::ios::binary | std::ios::trunc) << contents;
}

ino_t inodeOf(const std::string& path)
{
  struct stat info
  {
  };
  stat(path.c_str(), &info);
  return info.st_ino;
}

std::string profileString(const char* section, const char* key, const std::string& path,
                          const char* defaultValue = "<none>")
{
  char buffer[256];
  GetPrivateProfileString(section, key, defaultValue, buffer, sizeof buffer, path.c_str());
  return buffer;
}

// Points XDG_CONFIG_HOME and HOME into a fresh temporary folder for each test (folders not made
// yet), so the user's own settings are never touched.
class IniTest : public ::testing::Test
{
protected:
  void SetUp() override { ASSERT_FALSE(mRoot.empty()); }

  std::string Path(const std::string& name) const { return mFolder.PathOf(name); }

  TempFolder mFolder{"qm_ini_test"};
  const std::string mRoot = mFolder.Path();

private:
  ScopedEnvironmentVariable mConfigHome{"XDG_CONFIG_HOME", mRoot + "/config"};
  ScopedEnvironmentVariable mHome{"HOME", mRoot + "/home"};
};

TEST_F(IniTest, SettingsPathFollowsXdgAndHomeAndCreatesTheFolder)
{
  const mode_t previousMask = umask(022);
  std::string fileName;
  EXPECT_TRUE(TIniFile::GetIniFileName(fileName));
  EXPECT_EQ(fileName, mRoot + "/config/QuillonMini/Settings.ini");
  struct stat info
  {
  };
  ASSERT_EQ(stat((mRoot + "/config/QuillonMini").c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0755u) << "the folder follows the user's mask and is not world-writable";
  EXPECT_EQ(umask(022), 022) << "the process mask is left as it was";
  ASSERT_EQ(stat((mRoot + "/config").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u) << "a missing base folder is created private";

  setenv("XDG_CONFIG_HOME", "relative/path", 1); // must be ignored
  EXPECT_TRUE(TIniFile::GetIniFileName(fileName));
  EXPECT_EQ(fileName, mRoot + "/home/.config/QuillonMini/Settings.ini");

  unsetenv("XDG_CONFIG_HOME");
  setenv("HOME", (mRoot + "/home/").c_str(), 1);
  EXPECT_TRUE(TIniFile::GetIniFileName(fileName));
  EXPECT_EQ(fileName, mRoot + "/home/.config/QuillonMini/Settings.ini");
  umask(previousMask);
}

TEST_F(IniTest, SettingsFolderThatCannotBeCreatedGivesDefaultsAndRefusedWrites)
{
  writeFile(Path("blocker"), "a file where a folder should be");
  setenv("XDG_CONFIG_HOME", Path("blocker").c_str(), 1);
  std::string fileName;
  EXPECT_FALSE(TIniFile::GetIniFileName(fileName));
  EXPECT_EQ(fileName, Path("blocker") + "/QuillonMini/Settings.ini");
  const TIniFile ini(fileName);
  EXPECT_FLOAT_EQ(ini.ReadFloat("Params", "Scale", 1.0f), 1.0f);
  EXPECT_FALSE(ini.WriteFloat("Params", "Scale", 2.0f));
  EXPECT_EQ(readFile(Path("blocker")), "a file where a folder should be");
}

TEST_F(IniTest, ScaleRoundTripWritesTheDocumentedFile)
{
  std::string fileName;
  ASSERT_TRUE(TIniFile::GetIniFileName(fileName));
  const TIniFile ini(fileName);
  EXPECT_FLOAT_EQ(ini.ReadFloat("Params", "Scale", 1.0f), 1.0f);
  EXPECT_FALSE(fs::exists(fileName)) << "reading creates nothing";
  EXPECT_TRUE(ini.WriteFloat("Params", "Scale", 2.0f));
  EXPECT_EQ(readFile(fileName), "[Params]\nScale=2.000000\n\n");
  EXPECT_FLOAT_EQ(ini.ReadFloat("params", "SCALE", 1.0f), 2.0f);
  EXPECT_FALSE(fs::exists(mRoot + "/config/QuillonMini/.Settings.ini.new")) << "no temporary file left";
}

TEST_F(IniTest, ParsingRules)
{
  const std::string path = Path("parse.ini");
  writeFile(path,
            "orphan=above any header\n"
            "  [params]  trailing text\r\n"
            "SCALE=1.5\r\n"
            "Spaced =1\n"
            "\tIndented=  \"1.25\"  \n"
            "Single='x y'\n"
            "Mismatched=\"q'\n"
            "Lone=\"\n"
            "=no key\n"
            "no equals sign\n"
            "Equals=a=b\n"
            "[unclosed\n"
            "After=unclosed header is ignored\n"
            "[]\n"
            "Dropped=after an empty header\n"
            "[Other]\n"
            "Key=first\n"
            "[OTHER]\n"
            "Fresh=refilled\n"
            "[Dup]\n"
            "K=1\n"
            "k=2\n");
  EXPECT_EQ(profileString("Params", "Scale", path), "1.5");
  EXPECT_EQ(profileString("Params", "Spaced", path), "<none>") << "a blank before = belongs to the key";
  EXPECT_EQ(profileString("Params", "Spaced ", path), "1");
  EXPECT_EQ(profileString("Params", "Indented", path), "1.25");
  EXPECT_EQ(profileString("Params", "Single", path), "x y");
  EXPECT_EQ(profileString("Params", "Mismatched", path), "\"q'");
  EXPECT_EQ(profileString("Params", "Lone", path), "\"");
  EXPECT_EQ(profileString("Params", "Equals", path), "a=b");
  EXPECT_EQ(profileString("Params", "After", path), "unclosed header is ignored");
  EXPECT_EQ(profileString("Params", "orphan", path), "<none>");
  EXPECT_EQ(profileString("", "Dropped", path), "<none>");
  EXPECT_EQ(profileString("Other", "Key", path), "<none>") << "a repeated section is emptied and refilled";
  EXPECT_EQ(profileString("Other", "Fresh", path), "refilled");
  const std::string dup = profileString("Dup", "K", path);
  EXPECT_TRUE(dup == "1" || dup == "2");

  // One rewrite normalises the file: sorted, one entry per key, orphans dropped.
  EXPECT_TRUE(WritePrivateProfileString("Dup", "a", "0", path.c_str()));
  const std::string rewritten = readFile(path);
  EXPECT_EQ(rewritten.find("orphan"), std::string::npos);
  EXPECT_EQ(rewritten.find("Dropped"), std::string::npos);
  EXPECT_LT(rewritten.find("[Dup]\na=0\n"), rewritten.find("[Other]\nFresh=refilled\n\n"));
  EXPECT_LT(rewritten.find("[Other]"), rewritten.find("[params]"));
  EXPECT_EQ(profileString("Params", "Indented", path), "1.25");
}

TEST_F(IniTest, WritesChangeOnlyWhatTheyNameAndRewriteOnlyOnChange)
{
  const std::string path = Path("write.ini");
  EXPECT_TRUE(WritePrivateProfileString("B", "k", nullptr, path.c_str())) << "removing nothing succeeds";
  EXPECT_TRUE(WritePrivateProfileString("B", nullptr, nullptr, path.c_str()));
  EXPECT_FALSE(fs::exists(path)) << "and writes nothing";

  EXPECT_TRUE(WritePrivateProfileString("b", "zeta", "1", path.c_str()));
  EXPECT_TRUE(WritePrivateProfileString("B", "Alpha", "2", path.c_str()));
  EXPECT_TRUE(WritePrivateProfileString("a", "x", "3", path.c_str()));
  EXPECT_EQ(readFile(path), "[a]\nx=3\n\n[b]\nAlpha=2\nzeta=1\n\n");

  const ino_t before = inodeOf(path);
  EXPECT_TRUE(WritePrivateProfileString("B", "ALPHA", "2", path.c_str()));
  EXPECT_EQ(inodeOf(path), before) << "the same value is not written again";
  EXPECT_TRUE(WritePrivateProfileString("B", "ALPHA", "2 ", path.c_str()));
  EXPECT_NE(inodeOf(path), before) << "values compare exactly";

  EXPECT_TRUE(WritePrivateProfileString("b", "alpha", nullptr, path.c_str()));
  EXPECT_TRUE(WritePrivateProfileString("A", nullptr, nullptr, path.c_str()));
  EXPECT_EQ(readFile(path), "[b]\nzeta=1\n\n");

  // Refused, with the file left as it was.
  const char* refused[][3] = {
      {nullptr, "k", "v"},       {"", "k", "v"},    {"b", "", "v"},         {"b", "k", "1\n[x]\ny=2"},
      {"b", "k", "line\rbreak"}, {"b", "k=", "v"},  {"b", " k", "v"},       {"b", "[k", "v"},
      {"b]", "k", "v"},          {"b\n", "k", "v"}, {"", nullptr, nullptr}, {"b", "", nullptr},
  };
  for (const auto& args : refused)
  {
    EXPECT_FALSE(WritePrivateProfileString(args[0], args[1], args[2], path.c_str()))
        << (args[0] ? args[0] : "(null)") << " / " << (args[1] ? args[1] : "(null)");
  }
  EXPECT_FALSE(WritePrivateProfileString("b", "k", "v", nullptr));
  EXPECT_FALSE(WritePrivateProfileString("b", "k", "v", ""));
  EXPECT_EQ(readFile(path), "[b]\nzeta=1\n\n");
  EXPECT_EQ(profileString("b", "k", path), "<none>");
}

TEST_F(IniTest, ReadBufferLimits)
{
  const std::string path = Path("buffer.ini");
  writeFile(path, "[S]\nK=abcdef\n");
  char buffer[8] = "xxxxxxx";
  EXPECT_EQ(GetPrivateProfileString("S", "K", "d", buffer, 4, path.c_str()), 3);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(GetPrivateProfileString("S", "K", "d", buffer, 1, path.c_str()), 0);
  EXPECT_STREQ(buffer, "");
  buffer[0] = 'x';
  EXPECT_EQ(GetPrivateProfileString("S", "K", "d", buffer, 0, path.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileString("S", "K", "d", buffer, -5, path.c_str()), 0);
  EXPECT_EQ(buffer[0], 'x') << "a buffer of no size is not touched";
  EXPECT_EQ(GetPrivateProfileString("S", "K", "d", nullptr, 8, path.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileString("S", "missing", nullptr, buffer, 8, path.c_str()), 0);
  EXPECT_EQ(GetPrivateProfileString("S", "missing", "defaultlong", buffer, 8, path.c_str()), 7);
  EXPECT_STREQ(buffer, "default");
  EXPECT_EQ(GetPrivateProfileString(nullptr, "K", "d", buffer, 8, path.c_str()), 1);
  EXPECT_EQ(GetPrivateProfileString("S", "K", "d", buffer, 8, nullptr), 1);

  const TIniFile ini(path);
  EXPECT_TRUE(ini.WriteString("S", "Long", std::string(20000, 'v')));
  std::string text;
  ini.ReadString("S", "Long", "", text);
  EXPECT_EQ(text, std::string(16382, 'v'));
  EXPECT_FALSE(ini.WriteString("S", "Zero", std::string("a\0b", 3)));
}

TEST_F(IniTest, TypedValues)
{
  const std::string path = Path("typed.ini");
  writeFile(path,
            "[N]\nI1=42abc\nI2=abc\nI3= -7\nI4=99999999999\nI5=-99999999999\nI6=+5\n"
            "F1=nan\nF2=inf\nF3=0x10\nF4=1e999\nF5=-2.5e1x\nF6=.5\nF7=1.\nF8=3e\nF9=1e39\nF10=\"0.75\"\n"
            "B1=0\nB2=2\nB3=yes\n");
  const TIniFile ini(path);
  EXPECT_EQ(ini.ReadInt("N", "I1", 9), 42);
  EXPECT_EQ(ini.ReadInt("N", "I2", 9), 0);
  EXPECT_EQ(ini.ReadInt("N", "I3", 9), -7);
  EXPECT_EQ(ini.ReadInt("N", "I4", 9), INT_MAX);
  EXPECT_EQ(ini.ReadInt("N", "I5", 9), INT_MIN);
  EXPECT_EQ(ini.ReadInt("N", "I6", 9), 5);
  EXPECT_EQ(ini.ReadInt("N", "missing", -3), -3);

  for (const char* notANumber : {"F1", "F2", "F3", "F4", "F9"})
  {
    EXPECT_EQ(ini.ReadFloat("N", notANumber, 7.0f), 0.0f) << notANumber;
  }
  EXPECT_FLOAT_EQ(ini.ReadFloat("N", "F5", 7.0f), -25.0f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("N", "F6", 7.0f), 0.5f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("N", "F7", 7.0f), 1.0f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("N", "F8", 7.0f), 3.0f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("N", "F10", 7.0f), 0.75f);
  EXPECT_FLOAT_EQ(ini.ReadFloat("N", "missing", 1.25f), 1.25f);

  EXPECT_FALSE(ini.ReadBool("N", "B1", true));
  EXPECT_TRUE(ini.ReadBool("N", "B2", false));
  EXPECT_FALSE(ini.ReadBool("N", "B3", true));
  EXPECT_TRUE(ini.ReadBool("N", "missing", true));

  EXPECT_TRUE(ini.WriteFloat("W", "F", 1.5f));
  EXPECT_TRUE(ini.WriteFloat("W", "Big", 3.0e38f));
  EXPECT_TRUE(ini.WriteInt("W", "I", -12));
  EXPECT_TRUE(ini.WriteBool("W", "B", true));
  EXPECT_FALSE(ini.WriteFloat("W", "Nan", std::nanf("")));
  EXPECT_FALSE(ini.WriteFloat("W", "Inf", std::numeric_limits<float>::infinity()));
  const std::string text = readFile(path);
  EXPECT_NE(text.find("[W]\nB=1\nBig="), std::string::npos);
  EXPECT_NE(text.find("F=1.500000\nI=-12\n\n"), std::string::npos);
  EXPECT_EQ(ini.ReadFloat("W", "Big", 0.0f), 3.0e38f);
}

TEST_F(IniTest, HandEditsAreSeenAndUnchangedFilesComeFromTheCache)
{
  const std::string path = Path("cache.ini");
  writeFile(path, "[S]\nK=1\n");
  EXPECT_EQ(profileString("S", "K", path), "1");
  writeFile(path, "[S]\nK=22\n");
  EXPECT_EQ(profileString("S", "K", path), "22") << "a change of size is seen";

  // Same size, same file, same modification time: the cached copy is used.
  struct stat before
  {
  };
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  writeFile(path, "[S]\nK=33\n");
  const struct timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  EXPECT_EQ(profileString("S", "K", path), "22");

  // A later modification time is seen.
  const struct timespec later[2] = {before.st_atim, {before.st_mtim.tv_sec + 1, before.st_mtim.tv_nsec}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
  EXPECT_EQ(profileString("S", "K", path), "33");

  // Once 32 other files have been used, the entry is gone and the file is read anew.
  writeFile(path, "[S]\nK=44\n");
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), later, 0), 0);
  EXPECT_EQ(profileString("S", "K", path), "33");
  for (int i = 0; i < 32; ++i)
    profileString("S", "K", Path("other" + std::to_string(i) + ".ini"));
  EXPECT_EQ(profileString("S", "K", path), "44");

  // Paths are told apart by case: these are two files on this system.
  writeFile(Path("CACHE.ini"), "[S]\nK=upper\n");
  EXPECT_EQ(profileString("S", "K", Path("CACHE.ini")), "upper");
  EXPECT_EQ(profileString("S", "K", path), "44");
}

TEST_F(IniTest, DamagedOrStrangeFilesReadAsDefaultsAndAreNotDestroyed)
{
  // Binary junk: defaults; a small junk file may be replaced by a good one.
  const std::string junk = Path("junk.ini");
  std::string bytes;
  for (int i = 0; i < 5000; ++i)
    bytes += static_cast<char>((i * 7919) & 0xff);
  writeFile(junk, bytes);
  const TIniFile junkIni(junk);
  EXPECT_FLOAT_EQ(junkIni.ReadFloat("Params", "Scale", 1.0f), 1.0f);
  EXPECT_TRUE(junkIni.WriteFloat("Params", "Scale", 1.5f));
  EXPECT_FLOAT_EQ(junkIni.ReadFloat("Params", "Scale", 1.0f), 1.5f);

  // No header within the first 256 KiB: not an INI file; it is not read whole and never overwritten.
  const std::string big = Path("big.txt");
  const std::string bigText = std::string(300000, 'x') + "\n[Params]\nScale=3\n";
  writeFile(big, bigText);
  EXPECT_EQ(profileString("Params", "Scale", big), "<none>");
  EXPECT_FALSE(WritePrivateProfileString("Params", "Scale", "2", big.c_str()));
  EXPECT_EQ(readFile(big), bigText);

  // A line over 32 MiB is skipped; the rest is read; the file is never overwritten.
  const std::string longLine = Path("long.ini");
  const std::string longText = "[S]\nA=1\nHuge=" + std::string((32u << 20) + 10, 'h') + "\nB=2\n";
  writeFile(longLine, longText);
  EXPECT_EQ(profileString("S", "A", longLine), "1");
  EXPECT_EQ(profileString("S", "B", longLine), "2");
  EXPECT_EQ(profileString("S", "Huge", longLine), "<none>");
  EXPECT_FALSE(WritePrivateProfileString("S", "A", "9", longLine.c_str()));
  EXPECT_EQ(fs::file_size(longLine), longText.size());

  // A folder, or a FIFO, where the file should be.
  const std::string folder = Path("folder.ini");
  fs::create_directory(folder);
  EXPECT_EQ(profileString("S", "K", folder), "<none>");
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "v", folder.c_str()));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_FALSE(fs::exists(Path(".folder.ini.new")));
  const std::string fifo = Path("fifo.ini");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(profileString("S", "K", fifo), "<none>");
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "v", fifo.c_str()));

  // A path that names no file, or lies below a regular file.
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "v", (mRoot + "/").c_str()));
  EXPECT_FALSE(WritePrivateProfileString("S", "K", "v", (junk + "/x.ini").c_str()));
  EXPECT_EQ(profileString("S", "K", junk + "/x.ini"), "<none>");
}

TEST_F(IniTest, FailedRewriteKeepsTheOldFileAndForgetsTheChange)
{
  const std::string path = Path("safe.ini");
  const TIniFile ini(path);
  ASSERT_TRUE(ini.WriteString("S", "K", "good"));
  const std::string good = readFile(path);

  // The temporary file cannot be created.
  fs::create_directory(Path(".safe.ini.new"));
  EXPECT_FALSE(ini.WriteString("S", "K", "lost"));
  EXPECT_EQ(readFile(path), good);
  std::string text;
  ini.ReadString("S", "K", "", text);
  EXPECT_EQ(text, "good") << "the change that was not stored is not reported by reads";
  fs::remove(Path(".safe.ini.new"));

  // The disk fills up while writing: simulated with a file-size limit.
  struct rlimit previous
  {
  };
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = previous;
  tight.rlim_cur = 64;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
  const bool written = ini.WriteString("S", "K", std::string(1000, 'z'));
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(written);
  EXPECT_EQ(readFile(path), good) << "the old file is not truncated";
  EXPECT_FALSE(fs::exists(Path(".safe.ini.new")));
  ini.ReadString("S", "K", "", text);
  EXPECT_EQ(text, "good");

  // A stale temporary file left by a crash, longer than the new contents, does no harm.
  writeFile(Path(".safe.ini.new"), std::string(4096, '#'));
  EXPECT_TRUE(ini.WriteString("S", "K", "new"));
  EXPECT_EQ(readFile(path), "[S]\nK=new\n\n");

  // A private file stays private when rewritten.
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  EXPECT_TRUE(ini.WriteString("S", "K", "newer"));
  struct stat info
  {
  };
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // A file the user may not write is not replaced, though the folder would let the rename do it.
  ASSERT_EQ(chmod(mRoot.c_str(), 0777), 0);
  EXPECT_TRUE(AsUnprivilegedUser(
      [&] { return TIniFile(Path("theirs.ini")).WriteString("S", "K", "v") && !ini.WriteString("S", "K", "theirs"); }));
  EXPECT_EQ(readFile(path), "[S]\nK=newer\n\n");

  // A symbolic link stays: the file it leads to is rewritten.
  writeFile(Path("kept.ini"), "[S]\nK=old\n\n");
  fs::create_symlink(Path("kept.ini"), Path("link.ini"));
  EXPECT_TRUE(TIniFile(Path("link.ini")).WriteString("S", "K", "new"));
  EXPECT_TRUE(fs::is_symlink(Path("link.ini")));
  EXPECT_EQ(readFile(Path("kept.ini")), "[S]\nK=new\n\n");
}

TEST_F(IniTest, WritersInSeveralProcessesNeverLeaveADamagedFile)
{
  const std::string path = Path("shared.ini");
  constexpr int kWriters = 4;
  constexpr int kWritesEach = 100;
  auto valueOf = [](int writer, int round) { return std::string(20 + 300 * writer + (round % 3) * 50, 'a' + writer); };
  auto isValid = [&](const std::string& value) {
    for (int w = 0; w < kWriters; ++w)
    {
      for (int r = 0; r < 3; ++r)
      {
        if (value == valueOf(w, r))
          return true;
      }
    }
    return false;
  };

  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w)
  {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
      bool ok = true;
      for (int r = 0; r < kWritesEach; ++r)
      {
        ok = WritePrivateProfileString("S", "K", valueOf(w, r).c_str(), path.c_str()) && ok;
      }
      _exit(ok ? 0 : 1);
    }
    children.push_back(pid);
  }
  int badReads = 0;
  for (int i = 0; i < 300; ++i)
  {
    char buffer[2048];
    GetPrivateProfileString("S", "K", "", buffer, sizeof buffer, path.c_str());
    if (buffer[0] != '\0' && !isValid(buffer))
      ++badReads;
  }
  for (const pid_t pid : children)
  {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  EXPECT_EQ(badReads, 0);
  char buffer[2048];
  GetPrivateProfileString("S", "K", "", buffer, sizeof buffer, path.c_str());
  EXPECT_TRUE(isValid(buffer));
  EXPECT_EQ(readFile(path), std::string("[S]\nK=") + buffer + "\n\n");
  EXPECT_FALSE(fs::exists(Path(".shared.ini.new")));
}

} // namespace
