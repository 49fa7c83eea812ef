// The Windows file layer against the real file system: atomic replacement,
// the text conversions and the diagnostic log sink.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "core/paths.h"
#include "temp_folder.h"
#include "platform/atomic_write.h"
#include "platform/callback_guard.h"
#include "platform/diagnostics.h"
#include "platform/strings.h"

namespace vesk::win {
namespace {

using vesk::testing::read_all;

namespace fs = std::filesystem;

// Names in the folder that look like our temporary files.
int leftover_temporaries(const fs::path& folder) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (from_fs_path(entry.path().filename()).find(".tmp-") != std::string::npos) ++count;
  }
  return count;
}

class AtomicWrite : public ::testing::Test {
 protected:
  vesk::testing::TempFolder temp{"vesk-atomic-"};
  std::string path(const std::string& name) const { return temp.utf8() + "\\" + name; }
};

TEST_F(AtomicWrite, CreatesANewFileThroughTheMovePath) {
  const std::string target = path("新文档.md");
  ASSERT_TRUE(write_file_atomically(target, "# 新\r\n"));
  EXPECT_EQ(read_all(target), "# 新\r\n");
  EXPECT_EQ(leftover_temporaries(temp.path()), 0);
}

TEST_F(AtomicWrite, ReplacesAnExistingFileWholly) {
  const std::string target = temp.write("a.md", std::string(100000, 'x'));
  ASSERT_TRUE(write_file_atomically(target, "short"));
  EXPECT_EQ(read_all(target), "short");
  ASSERT_TRUE(write_file_atomically(target, ""));
  EXPECT_EQ(read_all(target), "");
  EXPECT_TRUE(fs::exists(to_fs_path(target)));
  EXPECT_EQ(leftover_temporaries(temp.path()), 0);
}

TEST_F(AtomicWrite, BinaryBytesAreWrittenUnchanged) {
  const std::string bytes("a\r\nb\n\0\x1a\xff", 8);
  const std::string target = path("bytes.bin");
  ASSERT_TRUE(write_file_atomically(target, bytes));
  EXPECT_EQ(read_all(target), bytes);
}

TEST_F(AtomicWrite, ReadOnlyTargetKeepsItsContent) {
  const std::string target = temp.write("locked.md", "old");
  const std::wstring wide = to_utf16(target);
  ASSERT_TRUE(SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(write_file_atomically(target, "new"));
  EXPECT_EQ(read_all(target), "old");
  EXPECT_EQ(leftover_temporaries(temp.path()), 0);
  SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(AtomicWrite, MissingFolderFailsWithoutCreatingAnything) {
  EXPECT_FALSE(write_file_atomically(path("missing\\a.md"), "text"));
  EXPECT_FALSE(fs::exists(temp.path() / "missing"));
  EXPECT_EQ(leftover_temporaries(temp.path()), 0);
}

TEST_F(AtomicWrite, TemporaryNameCarriesTheProcessNumber) {
  // A stale temporary of ours (from a crash) is simply overwritten.
  const std::string stale = path("b.md.tmp-" + std::to_string(GetCurrentProcessId()));
  temp.write("b.md.tmp-" + std::to_string(GetCurrentProcessId()), "stale");
  ASSERT_TRUE(write_file_atomically(path("b.md"), "fresh"));
  EXPECT_EQ(read_all(path("b.md")), "fresh");
  EXPECT_FALSE(fs::exists(to_fs_path(stale)));
}

// Replace steps that fail the ways ReplaceFileW can after it has already
// moved the old file away.
TEST_F(AtomicWrite, AReplaceThatFailsHalfwayNeverLosesTheNewText) {
  const auto half_done = [](unsigned long code, bool block_move) {
    return [code, block_move](const std::wstring& target, const std::wstring&, unsigned long& error) {
      DeleteFileW(target.c_str());
      // A folder where the target was makes the fallback move fail too.
      if (block_move) CreateDirectoryW(target.c_str(), nullptr);
      error = code;
      return false;
    };
  };
  // The fallback move finishes the job.
  const std::string moved = temp.write("moved.md", "old");
  EXPECT_TRUE(write_file_atomically_reporting(moved, "new", half_done(kErrorUnableToMoveReplacement, false)).ok);
  EXPECT_EQ(read_all(moved), "new");
  EXPECT_EQ(leftover_temporaries(temp.path()), 0);

  // The move fails as well: the temporary stays and is named.
  const std::string stuck = temp.write("stuck.md", "old");
  const AtomicWriteResult result =
      write_file_atomically_reporting(stuck, "new", half_done(kErrorUnableToMoveReplacement2, true));
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.kept_temporary, stuck + ".tmp-" + std::to_string(GetCurrentProcessId()));
  EXPECT_EQ(read_all(result.kept_temporary), "new");

  // Any other failure leaves the target as it was and cleans up.
  const std::string denied = temp.write("denied.md", "old");
  const AtomicWriteResult refused = write_file_atomically_reporting(
      denied, "new", [](const std::wstring&, const std::wstring&, unsigned long& error) {
        error = ERROR_ACCESS_DENIED;
        return false;
      });
  EXPECT_FALSE(refused.ok);
  EXPECT_EQ(refused.kept_temporary, "");
  EXPECT_EQ(read_all(denied), "old");
  EXPECT_EQ(leftover_temporaries(temp.path()), 1);  // only stuck.md's
}

TEST(Conversions, RoundTripIncludingNulAndAstralCharacters) {
  const std::string utf8("a\0中😀", 9);
  const std::wstring utf16 = to_utf16(utf8);
  ASSERT_EQ(utf16.size(), 5u);  // a, NUL, 中, and a surrogate pair
  EXPECT_EQ(utf16[1], L'\0');
  EXPECT_EQ(utf16[2], L'\x4E2D');
  EXPECT_EQ(to_utf8(utf16), utf8);
  EXPECT_EQ(to_utf16(""), L"");
  EXPECT_EQ(to_utf8(L""), "");
}

TEST(Conversions, InvalidInputIsReplacedNotReported) {
  const std::wstring from_bad_utf8 = to_utf16("a\xff" "b");
  EXPECT_EQ(from_bad_utf8.front(), L'a');
  EXPECT_EQ(from_bad_utf8.back(), L'b');
  EXPECT_NE(from_bad_utf8.find(L'\xFFFD'), std::wstring::npos);
  const std::wstring lone_surrogate = {L'x', static_cast<wchar_t>(0xD800), L'y'};
  const std::string from_bad_utf16 = to_utf8(lone_surrogate);
  EXPECT_EQ(from_bad_utf16.front(), 'x');
  EXPECT_EQ(from_bad_utf16.back(), 'y');
}

class LogSink : public ::testing::Test {
 protected:
  vesk::testing::TempFolder temp{"vesk-log-"};
  void TearDown() override { SetEnvironmentVariableW(L"VESK_LOG", nullptr); }
};

TEST_F(LogSink, EachLineEndsInOneLineFeed) {
  const std::string log = temp.utf8() + "\\日志.log";
  SetEnvironmentVariableW(L"VESK_LOG", to_utf16(log).c_str());
  write_diagnostic_line("NATIVE open C:\\文档\\a.md");
  write_diagnostic_line("");
  write_diagnostic_line("JSLOG two");
  EXPECT_EQ(read_all(log), "NATIVE open C:\\文档\\a.md\n\nJSLOG two\n");
}

TEST_F(LogSink, AnExceptionStopsAtTheGuardAndIsLogged) {
  const std::string log = temp.utf8() + "\\guard.log";
  SetEnvironmentVariableW(L"VESK_LOG", to_utf16(log).c_str());
  EXPECT_TRUE(run_guarded([] {}));
  EXPECT_FALSE(run_guarded([] { throw std::runtime_error("boom"); }));
  EXPECT_FALSE(run_guarded([] { throw 42; }));
  EXPECT_EQ(read_all(log),
            "NATIVE unexpected exception: boom\nNATIVE unexpected exception: (not a std::exception)\n");
}

TEST_F(LogSink, UnopenableFileIsSkipped) {
  SetEnvironmentVariableW(L"VESK_LOG", to_utf16(temp.utf8() + "\\missing\\x.log").c_str());
  write_diagnostic_line("NATIVE still fine");
  EXPECT_FALSE(fs::exists(temp.path() / "missing"));
  SetEnvironmentVariableW(L"VESK_LOG", L"");
  write_diagnostic_line("NATIVE empty means unset");
}

TEST(Environment, SetMeansPresentAndNotEmpty) {
  SetEnvironmentVariableW(L"VESK_TEST_VARIABLE", L"值");
  EXPECT_EQ(read_environment("VESK_TEST_VARIABLE"), "值");
  EXPECT_TRUE(environment_is_set("VESK_TEST_VARIABLE"));
  SetEnvironmentVariableW(L"VESK_TEST_VARIABLE", L"");
  EXPECT_FALSE(environment_is_set("VESK_TEST_VARIABLE"));
  SetEnvironmentVariableW(L"VESK_TEST_VARIABLE", nullptr);
  EXPECT_EQ(read_environment("VESK_TEST_VARIABLE"), "");
}

}  // namespace
}  // namespace vesk::win
