#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <string_view>
#include <vector>

#include "platform/curl_url.h"
#include "platform/dynamic_library.h"
#include "platform/file_util.h"
#include "platform/folders.h"
#include "platform/ini_file.h"
#include "platform/process.h"
#include "platform/text_encoding.h"
#include "platform/text_helpers.h"
#include "platform/watcher_link.h"
#include "tests/support/test_server.h"

namespace {
// fsync as this test program sees it: the next `failingFsyncs` calls fail
// with EIO, as a disk that cannot write its blocks makes them fail.
int failingFsyncs = 0;
}  // namespace

extern "C" int fsync(int fd) {
  if (failingFsyncs > 0) {
    --failingFsyncs;
    errno = EIO;
    return -1;
  }
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  return real(fd);
}

namespace mireva {
namespace {

using testing::MakeTempFolder;
using testing::ReadFile;
using testing::RemoveFolder;
using testing::WriteFile;

TEST(TextEncoding, RoundTripsJapaneseThroughUtf8) {
  // The literal is Shift_JIS in the program; its UTF-8 form is the host's.
  const std::string sjis = "巡回リストが見つかりません。ソ表";
  EXPECT_EQ(static_cast<unsigned char>(sjis[0]), 0x8F);
  std::string utf8 = SjisToUtf8(sjis);
  EXPECT_EQ(utf8.substr(0, 6), "\xE5\xB7\xA1\xE5\x9B\x9E");  // 巡回 in UTF-8
  EXPECT_EQ(Utf8ToSjis(utf8), sjis);
}

TEST(TextEncoding, PagesReachTheEditorAsUtf8) {
  const std::string page = "<p>ｱｲｳｴｵ 日本語のページ</p>";  // Shift_JIS in the program
  const std::string utf8 = SjisToUtf8(page);
  EXPECT_EQ(PageBytesToUtf8(page), utf8);
  EXPECT_EQ(PageBytesToUtf8(utf8), utf8);
  const std::string euc = "<p>\xC6\xFC\xCB\xDC\xB8\xEC</p>";  // 日本語
  EXPECT_EQ(PageBytesToUtf8(euc), SjisToUtf8("<p>日本語</p>"));
  EXPECT_EQ(PageBytesToUtf8("<meta charset=\"EUC-JP\">\x8E\xB1"), SjisToUtf8("<meta charset=\"EUC-JP\">ｱ"));
}

TEST(TextEncoding, ReplacesWhatCannotBeConverted) {
  EXPECT_EQ(SjisToUtf8("a\x81"), "a\xEF\xBF\xBD");          // lone lead byte at the end
  EXPECT_EQ(Utf8ToSjis("x\xF0\x9F\x98\x80y"), "x?y");         // an emoji has no CP932 form
  EXPECT_EQ(Utf8ToSjis("\xC3"), "?");                          // truncated UTF-8
  EXPECT_EQ(SjisToUtf8(""), "");
  EXPECT_TRUE(IsAscii("http://example.com/"));
  EXPECT_FALSE(IsAscii("\x82\xA0"));
}

TEST(TextHelpers, SjisCutNeverSplitsADoubleByteCharacter) {
  // Lead bytes are 0x81-0x9F and 0xE0-0xFC; half-width katakana (0xA0-0xDF) are single.
  EXPECT_FALSE(IsSjisLead(0x80));
  EXPECT_TRUE(IsSjisLead(0x81) && IsSjisLead(0x9F) && IsSjisLead(0xE0) && IsSjisLead(0xFC));
  EXPECT_FALSE(IsSjisLead(0xA0) || IsSjisLead(0xDF) || IsSjisLead(0xFD));
  EXPECT_EQ(CutSjis("\x82\xA0\x82\xA2", 3), "\x82\xA0");
  EXPECT_EQ(CutSjis("a\x82\xA0", 2), "a");
  EXPECT_EQ(CutSjis("\xB1\xB2\xB3", 2), "\xB1\xB2");  // half-width katakana
  EXPECT_EQ(CutSjis("abc", 10), "abc");
  EXPECT_EQ(CutSjis("ab\x82", 3), "ab\x82");  // a text that fits is kept whole
  EXPECT_EQ(SjisCutLength("\x82\xA0xyz", 0), 0u);
  // The 260-byte areas hold 259 bytes of address.
  EXPECT_EQ(CutSjis(std::string(300, 'a'), kMaxPath - 1).size(), 259u);
}

TEST(TextHelpers, Utf8ValidationRefusesMalformedSequences) {
  struct Row {
    const char* text;
    bool valid;
  };
  const Row rows[] = {
      {"", true},
      {"plain", true},
      {"\xE6\x97\xA5\xE6\x9C\xAC", true},  // 日本
      {"\xF0\x9F\x98\x80", true},          // U+1F600
      {"\xF4\x8F\xBF\xBF", true},          // U+10FFFF
      {"\x82\xA0", false},                 // Shift_JIS
      {"\xC0\xAF", false},                 // overlong "/"
      {"\xE0\x80\xAF", false},             // overlong three-byte form
      {"\xED\xA0\x80", false},             // surrogate
      {"\xF4\x90\x80\x80", false},         // past U+10FFFF
      {"\xE6\x97", false},                 // cut off by the end
      {"a\x80", false},                    // stray continuation byte
  };
  for (size_t i = 0; i < std::size(rows); ++i)
    EXPECT_EQ(IsValidUtf8(rows[i].text), rows[i].valid) << "row " << i;
  const unsigned char cut[] = {0xE6, 0x97};
  EXPECT_EQ(Utf8SequenceLength(cut, 2), -1);
}

TEST(TextHelpers, AsciiCaseAndBlanksLeaveOtherBytesAlone) {
  EXPECT_EQ(LowerAscii("HTTP://Example.JP/\xC0\xDE"), "http://example.jp/\xC0\xDE");
  EXPECT_TRUE(EqualsNoCase("Location", "lOCATION"));
  EXPECT_FALSE(EqualsNoCase("\xC0", "\xE0"));  // Latin-1 case is not ASCII case
  EXPECT_FALSE(EqualsNoCase("abc", "ab"));
  EXPECT_TRUE(StartsWithNoCase("HTTPS://a/", "https://"));
  EXPECT_FALSE(StartsWithNoCase("http", "https"));
  EXPECT_TRUE(IsAsciiAlnum('z') && IsAsciiAlnum('7') && !IsAsciiAlnum('-') && !IsAsciiAlnum('\xE9'));
  EXPECT_EQ(Trim(" \t a b \r", " \t\r"), "a b");
  EXPECT_EQ(Trim("   ", " "), "");
  EXPECT_EQ(TrimStart("  \x82\x40 ", " "), "\x82\x40 ");  // a full-width space stays
  EXPECT_TRUE(BytesAt("RIFF....WAVE", 8, "WAVE"));
  EXPECT_FALSE(BytesAt("RIFF", 8, ""));  // the text ends before the offset
  EXPECT_FALSE(BytesAt("RIFF....WAV", 8, "WAVE"));
}

TEST(TextHelpers, LineReadersStopAtAnOverlongLine) {
  const std::string text = "one\r\ntwo\n\nabcd\nlast";
  std::vector<std::string> lines;
  LineReader reader(text, 4);
  std::string_view line;
  while (reader.Next(&line)) lines.emplace_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "", "abcd", "last"}));

  LineReader shortLines(text, 3);
  lines.clear();
  while (shortLines.Next(&line)) lines.emplace_back(line);
  EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", ""}));
  EXPECT_FALSE(shortLines.Next(&line));  // stays stopped

  std::FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  std::fputs("abcd\r\nlast\nlonger line\n", file);
  std::rewind(file);
  std::string read;
  EXPECT_TRUE(ReadLine(file, 4, &read));
  EXPECT_EQ(read, "abcd");  // the CR of a line at the limit is not counted
  EXPECT_TRUE(ReadLine(file, 4, &read));
  EXPECT_EQ(read, "last");
  EXPECT_FALSE(ReadLine(file, 4, &read));
  std::fclose(file);
}

TEST(CurlUrl, ResolvesReferencesAndReportsMissingParts) {
  CurlUrl url;
  ASSERT_TRUE(url);
  ASSERT_TRUE(url.Set(CURLUPART_URL, "http://example.com/dir/page.html"));
  ASSERT_TRUE(url.Set(CURLUPART_URL, "../up.html?q=1", CURLU_URLENCODE));
  EXPECT_EQ(url.Get(CURLUPART_URL), "http://example.com/up.html?q=1");
  EXPECT_EQ(url.Get(CURLUPART_PORT, CURLU_DEFAULT_PORT), "80");
  EXPECT_FALSE(url.Get(CURLUPART_FRAGMENT).has_value());
  EXPECT_FALSE(CurlUrl().Set(CURLUPART_URL, "not an address"));
}

class IniFileTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeTempFolder(); path = dir + "/TollickApp.ini"; }
  void TearDown() override { RemoveFolder(dir); }
  std::string dir, path;
};

TEST_F(IniFileTest, ReadsWithProfileRules) {
  WriteFile(path, "; comment\r\n[Other]\r\njpg=off\r\n[tollickapp]\r\n  JPG =  on  \r\nq=\"quoted\"\r\n");
  EXPECT_EQ(GetProfileString(path, "TollickApp", "jpg", "x"), "on");
  EXPECT_EQ(GetProfileString(path, "TollickApp", "q", "x"), "quoted");
  EXPECT_EQ(GetProfileString(path, "TollickApp", "gif", "off"), "off");
  EXPECT_EQ(GetProfileString(path, "Missing", "jpg", "dflt"), "dflt");
  EXPECT_EQ(GetProfileString(dir + "/none.ini", "TollickApp", "jpg", "dflt"), "dflt");
  EXPECT_EQ(GetProfileString(path, "TollickApp", "jpg", "x", 2), "o");  // capacity with NUL
}

TEST_F(IniFileTest, WritesKeepOtherLinesAndAddMissingOnes) {
  WriteFile(path, "[A]\r\nx=1\r\n\r\n[TollickApp]\r\njpg=off\r\n");
  ASSERT_TRUE(WriteProfileString(path, "TollickApp", "jpg", "on"));
  ASSERT_TRUE(WriteProfileString(path, "TollickApp", "gif", "off"));
  ASSERT_TRUE(WriteProfileString(path, "New", "k", "v"));
  EXPECT_EQ(GetProfileString(path, "TollickApp", "jpg", ""), "on");
  EXPECT_EQ(GetProfileString(path, "TollickApp", "gif", ""), "off");
  EXPECT_EQ(GetProfileString(path, "A", "x", ""), "1");
  EXPECT_EQ(GetProfileString(path, "New", "k", ""), "v");
  for (const auto& e : std::filesystem::directory_iterator(dir))
    EXPECT_EQ(e.path().filename(), "TollickApp.ini") << "temporary file left behind";

  // Nothing that would add lines of its own, or read back as another key.
  const std::string before = ReadFile(path);
  for (const auto& [section, key, value] : std::vector<std::array<std::string, 3>>{
           {"A", "x", "1\r\n[TollickApp]\r\njpg=on"}, {"A", "x\ny", "1"}, {"A]", "x", "1"},
           {"A", "x=y", "1"}, {"", "x", "1"}, {"A", "", "1"}, {"A", "x", std::string("1\0z", 3)}})
    EXPECT_FALSE(WriteProfileString(path, section, key, value)) << key << "=" << value;
  EXPECT_EQ(ReadFile(path), before);
}

TEST(FileUtil, AtomicWriteReplacesWholeFileOrNothing) {
  std::string dir = MakeTempFolder();
  ASSERT_TRUE(WriteFileAtomically(dir + "/list.lst", "one\r\n"));
  ASSERT_TRUE(WriteFileAtomically(dir + "/list.lst", "two\r\n"));
  EXPECT_EQ(ReadFile(dir + "/list.lst"), "two\r\n");
  EXPECT_FALSE(WriteFileAtomically(dir + "/missing/list.lst", "x"));
  // Shift_JIS names become UTF-8 names on disk.
  ASSERT_TRUE(WriteFileAtomically(dir + "/先読み開始.LNK", "x"));
  EXPECT_TRUE(std::filesystem::exists(dir + "/" + SjisToUtf8("先読み開始.LNK")));
  EXPECT_TRUE(FileExists(dir + "/先読み開始.LNK"));
  RemoveFolder(dir);
}

TEST(FileUtil, ReplacementsUseUniqueDotNamesAndNeverFollowLinks) {
  std::string dir = MakeTempFolder();
  const std::string target = dir + "/Patrol.lst";
  WriteFile(target, "old");
  {
    // Two writers at once (two windows) each get a temporary of their own,
    // hidden from folder sweeps; until a commit the target is the old file.
    ReplacementFile a(target), b(target);
    ASSERT_TRUE(a.IsOpen() && b.IsOpen());
    EXPECT_NE(a.TemporaryPath(), b.TemporaryPath());
    for (const ReplacementFile* f : {&a, &b}) {
      const std::string name = std::filesystem::path(f->TemporaryPath()).filename();
      EXPECT_EQ(name.rfind(".Patrol.lst.tmp", 0), 0u) << name;
      EXPECT_EQ(std::filesystem::path(f->TemporaryPath()).parent_path(), dir);
    }
    ASSERT_TRUE(a.Write("from a") && b.Write("from b"));
    EXPECT_EQ(ReadFile(target), "old");
    ASSERT_TRUE(b.Commit());
  }  // `a` is dropped uncommitted
  EXPECT_EQ(ReadFile(target), "from b");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                          std::filesystem::directory_iterator()), 1);

  // A link at the name is replaced; the file it points at is not written.
  std::filesystem::create_symlink(dir + "/victim", dir + "/link");
  WriteFile(dir + "/victim", "victim");
  mode_t mask = umask(027);
  ASSERT_TRUE(WriteFileAtomically(dir + "/link", "new"));
  ASSERT_TRUE(WriteFileAtomically(dir + "/fresh", "x"));
  EXPECT_EQ(umask(mask), 027);  // the umask is honoured, never changed
  EXPECT_EQ(ReadFile(dir + "/victim"), "victim");
  EXPECT_FALSE(std::filesystem::is_symlink(dir + "/link"));
  struct stat st {};
  ASSERT_EQ(stat((dir + "/fresh").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  RemoveFolder(dir);
}

// Every file a user keeps is saved through WriteFileAtomically (lists,
// profiles) or copied through CopyFileAtomically (the bookmark working
// copies). A flush that fails, a kill at any moment while saving or copying
// and a full disk leave the old file or the new one, whole.
TEST(FileUtil, SavesSurviveFailedFlushesKillsAndAFullDisk) {
  const std::string dir = MakeTempFolder();
  const std::string target = dir + "/Patrol.lst";
  const std::string a(300000, 'a'), b(200000, 'b');
  WriteFile(target, a);
  failingFsyncs = 1;
  EXPECT_FALSE(WriteFileAtomically(target, b));
  EXPECT_EQ(failingFsyncs, 0);
  EXPECT_EQ(ReadFile(target), a);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir),
                          std::filesystem::directory_iterator()), 1);
  const std::string copySource = dir + "/bookmarks-source.html";
  WriteFile(copySource, b);
  unsigned seed = 15;
  for (int round = 0; round < 25; ++round) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (int k = 0;; ++k) {
        if (k % 2)
          WriteFileAtomically(target, a);
        else
          CopyFileAtomically(copySource, target);
      }
    }
    usleep(200 + rand_r(&seed) % 5000);
    kill(pid, SIGKILL);
    ASSERT_EQ(waitpid(pid, nullptr, 0), pid);
    const std::string now = ReadFile(target);
    ASSERT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
  }

  // A full disk: a child mounts a 64 KB tmpfs in a user namespace of its own.
  const std::string small = dir + "/small";
  std::filesystem::create_directory(small);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    const std::string uid = std::to_string(getuid()), gid = std::to_string(getgid());
    auto put = [](const char* file, const std::string& text) {
      int fd = open(file, O_WRONLY);
      bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
      return fd >= 0 && close(fd) == 0 && ok;
    };
    if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !put("/proc/self/setgroups", "deny") ||
        !put("/proc/self/uid_map", "0 " + uid + " 1") ||
        !put("/proc/self/gid_map", "0 " + gid + " 1") ||
        mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
      _exit(77);
    const std::string list = small + "/Patrol.lst";
    if (!WriteFileAtomically(list, "old\r\n")) _exit(10);
    if (WriteFileAtomically(list, a)) _exit(11);
    if (ReadFile(list) != "old\r\n") _exit(12);
    auto entries = std::distance(std::filesystem::directory_iterator(small),
                                 std::filesystem::directory_iterator());
    _exit(entries == 1 ? 0 : 13);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  RemoveFolder(dir);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "no user namespaces to mount a small file system";
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "11: reported success, 12: the old file was damaged, 13: a temporary stayed";
}

TEST_F(IniFileTest, AFileThatCannotBeReadIsNeverRewritten) {
  // A missing file is an empty profile; one that is there but unreadable is
  // an error, so writing one key cannot drop all the others.
  ProfileFile profile;
  EXPECT_TRUE(profile.Load(dir + "/missing.ini"));
  std::filesystem::create_directory(path);  // reading it fails (EISDIR)
  EXPECT_FALSE(profile.Load(path));
  EXPECT_FALSE(WriteProfileString(path, "TollickApp", "JPEG", "on"));
  EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST(FileUtil, SplitsLinesOfEitherEnding) {
  EXPECT_EQ(SplitLines("a\r\nb\nc"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitLines("a\r\n\r\n"), (std::vector<std::string>{"a", ""}));
  EXPECT_TRUE(SplitLines("").empty());
}

TEST(DynamicLibrary, MapsBareNamesToTheBuiltFiles) {
  EXPECT_EQ(LibraryFileName("Hovrel"), "libHovrel.so");
  EXPECT_EQ(LibraryFileName("HOVREL.DLL"), "libHovrel.so");
  EXPECT_EQ(LibraryFileName("DownLoad.dll"), "libDownLoad.so");
  EXPECT_EQ(LibraryFileName("PNG.DLL"), "libPngCompo.so");
  EXPECT_EQ(LibraryFileName("Other"), "libOther.so");
}

TEST(DynamicLibrary, MissingLibraryFailsWithReason) {
  std::string dir = MakeTempFolder();
  DynamicLibrary lib;
  EXPECT_FALSE(lib.Open("NoSuchLibrary", dir));
  EXPECT_FALSE(lib.IsOpen());
  EXPECT_FALSE(lib.Error().empty());
  EXPECT_EQ(lib.Symbol("x"), nullptr);
  RemoveFolder(dir);
}

TEST(Process, StartsWithArgumentVectorNeverAShell) {
  std::string dir = MakeTempFolder();
  int code = -2;
  // The argument reaches the program as one word: no shell ever sees ";".
  ASSERT_TRUE(StartProgram({"sh", "-c", "exit 7", "; touch " + dir + "/pwned"}, Wait::UntilExit,
                           &code));
  EXPECT_EQ(code, 7);
  ASSERT_TRUE(StartProgram({"touch", dir + "/a b;c"}, Wait::UntilExit, &code));
  EXPECT_TRUE(std::filesystem::exists(dir + "/a b;c"));
  EXPECT_FALSE(std::filesystem::exists(dir + "/pwned"));
  EXPECT_FALSE(StartProgram({"no-such-program-mireva"}, Wait::UntilExit, &code));
  RemoveFolder(dir);
}

TEST(Process, TextEditorThatCannotStartIsReportedWithWhatWasTried) {
  std::string dir = MakeTempFolder();
  const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
  setenv("PATH", dir.c_str(), 1);  // no desktop editor, no xdg-open
  setenv("VISUAL", "no-such-editor-mireva --wait", 1);
  EXPECT_FALSE(OpenInTextEditor(dir + "/a.txt", Wait::UntilExit));
  std::vector<std::string> tried = TextEditorsTried();
  ASSERT_GE(tried.size(), 3u);
  EXPECT_EQ(tried.front(), "$VISUAL=no-such-editor-mireva --wait");
  EXPECT_EQ(tried[1], "gnome-text-editor");
  EXPECT_EQ(tried.back(), "xdg-open");
  // $VISUAL may name a program by its path, with arguments of its own.
  setenv("VISUAL", "/bin/sh -c true", 1);
  EXPECT_TRUE(OpenInTextEditor(dir + "/a.txt", Wait::UntilExit));
  unsetenv("VISUAL");
  EXPECT_EQ(TextEditorsTried().front(), "$VISUAL");
  setenv("PATH", oldPath.c_str(), 1);
  RemoveFolder(dir);
}

class EnvFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempFolder();
    setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
    std::string problem;
    ASSERT_TRUE(PrepareRuntimeFolder(&problem)) << problem;
  }
  void TearDown() override {
    unsetenv("XDG_RUNTIME_DIR");
    RemoveFolder(dir);
  }
  std::string dir;
};

TEST_F(EnvFolder, WatcherLockIsSeenOnlyWhileHeld) {
  EXPECT_FALSE(WatcherIsRunning());
  int fd = open(WatcherLockPath().c_str(), O_CREAT | O_RDWR, 0600);
  ASSERT_GE(fd, 0);
  EXPECT_FALSE(WatcherIsRunning());  // the file alone means nothing
  ASSERT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  EXPECT_TRUE(WatcherIsRunning());
  close(fd);
  EXPECT_FALSE(WatcherIsRunning());
}

TEST_F(EnvFolder, NoticesArriveOneDatagramEachAndFailWithoutListener) {
  EXPECT_FALSE(SendWatcherNotice("off"));
  int s = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, NoticeSocketPath().c_str());
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_TRUE(SendWatcherNotice("off"));
  ASSERT_TRUE(SendWatcherNotice("download break"));
  char buf[64];
  ssize_t n = recv(s, buf, sizeof buf, 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "off");
  n = recv(s, buf, sizeof buf, 0);
  EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), "download break");
  close(s);
}

TEST_F(EnvFolder, RuntimeFolderIsUsedOnlyWhenItIsVerifiablyOurs) {
  const std::string run = RuntimeFolder();
  EXPECT_EQ(std::filesystem::status(run).permissions(), std::filesystem::perms::owner_all);
  // Someone else's listener in a folder others can enter gets no notice.
  int s = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strcpy(addr.sun_path, NoticeSocketPath().c_str());
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_TRUE(SendWatcherNotice("off"));
  chmod(run.c_str(), 0777);
  std::string problem;
  EXPECT_FALSE(CheckRuntimeFolder(&problem));
  EXPECT_NE(problem.find("0700"), std::string::npos) << problem;
  EXPECT_FALSE(SendWatcherNotice("download start"));
  EXPECT_FALSE(PrepareRuntimeFolder(&problem));  // an existing folder is not adopted
  close(s);

  // A link, even to a private folder of ours, is refused; so is a file.
  RemoveFolder(run);
  std::filesystem::create_directory(dir + "/elsewhere");
  chmod((dir + "/elsewhere").c_str(), 0700);
  std::filesystem::create_directory_symlink(dir + "/elsewhere", run);
  EXPECT_FALSE(PrepareRuntimeFolder(&problem));
  EXPECT_NE(problem.find("symbolic link"), std::string::npos) << problem;
  std::filesystem::remove(run);
  WriteFile(run, "");
  EXPECT_FALSE(PrepareRuntimeFolder(&problem));
  std::filesystem::remove(run);
  EXPECT_TRUE(PrepareRuntimeFolder(&problem)) << problem;
}

TEST_F(EnvFolder, WorkingFolderIsSeededWithoutOverwritingUserFiles) {
  std::string data = dir + "/data", home = dir + "/home";
  std::filesystem::create_directories(data + "/sub");
  WriteFile(data + "/Weather.lst", "shipped");
  WriteFile(data + "/sub/x.html", "page");
  std::filesystem::create_directories(home);
  WriteFile(home + "/Weather.lst", "mine");
  std::string before = std::filesystem::current_path();
  ASSERT_TRUE(PrepareWorkingFolder(home, data));
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(home));
  EXPECT_EQ(ReadFile(home + "/Weather.lst"), "mine");
  EXPECT_EQ(ReadFile(home + "/sub/x.html"), "page");
  EXPECT_TRUE(std::filesystem::is_directory(home + "/DownLoad/Weather"));
  EXPECT_TRUE(std::filesystem::is_directory(home + "/Cache"));
  std::filesystem::current_path(before);
}

TEST(TestServer, ServesRoutesAndLogsRequests) {
  testing::TestServer server(R"({"routes": {"/a": {"status": 404, "body": "gone"}}})");
  ASSERT_TRUE(server.Running());
  int code = -1;
  std::string out = server.Folder() + "/out";
  ASSERT_TRUE(StartProgram({"python3", "-c",
                            "import urllib.request,sys\n"
                            "try: urllib.request.urlopen(sys.argv[1])\n"
                            "except Exception as e: open(sys.argv[2],'w').write(str(e.code))",
                            server.Url("/a"), out},
                           Wait::UntilExit, &code));
  EXPECT_EQ(ReadFile(out), "404");
  auto reqs = server.Requests();
  ASSERT_EQ(reqs.size(), 1u);
  EXPECT_EQ(reqs[0].method, "GET");
  EXPECT_EQ(reqs[0].path, "/a");
  EXPECT_NE(reqs[0].Header("user-agent"), "");
}

}  // namespace
}  // namespace mireva
