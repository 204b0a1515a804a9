// TFile: the Win32 file model on both builds (dispositions, error codes, short transfers,
// throwing, refusal of impossible counts).
#include "platform/file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/fs.h"
#include "platform/temp_folder_for_tests.h"

namespace corvid {
namespace {

using namespace file;

constexpr std::uint32_t kReadWrite = kGenericRead | kGenericWrite;
constexpr std::uint32_t kShareAll = kShareRead | kShareWrite;

bool OpenIn(TFile& f, const std::string& path, std::uint32_t disposition,
            std::uint32_t access = kReadWrite) {
  return f.Open(path, access, kAttributeNormal, disposition, kShareAll);
}

TEST(TFile, OpeningAMissingFileThrowsZeroOnlyWhenAsked) {
  testing::TempFolder dir;
  const std::string missing = dir.Path("missing.bin");

  TFile quiet(false);
  EXPECT_FALSE(OpenIn(quiet, missing, kOpenExisting));
  EXPECT_TRUE(quiet.Failed());
  EXPECT_EQ(quiet.LastError(), kErrorFileNotFound);
  EXPECT_FALSE(quiet.IsOpen());

  TFile loud(true);
  try {
    OpenIn(loud, missing, kOpenExisting);
    ADD_FAILURE() << "no exception";
  } catch (int value) {
    EXPECT_EQ(value, 0);
  }
  EXPECT_EQ(loud.LastError(), kErrorFileNotFound);  // set before the throw
  EXPECT_TRUE(loud.Failed());
  EXPECT_THROW(TFile(missing, kGenericRead, true, kAttributeNormal, kOpenExisting, kShareAll), int);
}

struct DispositionCase {
  const char* label;
  bool exists;
  std::uint32_t disposition;
  std::uint32_t access;
  std::uint32_t error;  // 0: opens
  std::uint32_t size;   // size after opening
};

TEST(TFile, DispositionsAndErrorCodesFollowTheWin32Model) {
  const DispositionCase cases[] = {
      {"create-new on a missing file", false, kCreateNew, kReadWrite, 0, 0},
      {"create-new on an existing file", true, kCreateNew, kReadWrite, kErrorFileExists, 5},
      {"create-always truncates", true, kCreateAlways, kReadWrite, 0, 0},
      {"open-existing keeps the content", true, kOpenExisting, kGenericRead, 0, 5},
      {"open-existing on a missing file", false, kOpenExisting, kGenericRead, kErrorFileNotFound,
       0},
      {"open-always keeps the content", true, kOpenAlways, kGenericWrite, 0, 5},
      {"open-always creates", false, kOpenAlways, kGenericWrite, 0, 0},
      {"truncate-existing", true, kTruncateExisting, kGenericWrite, 0, 0},
      {"truncate-existing on a missing file", false, kTruncateExisting, kGenericWrite,
       kErrorFileNotFound, 0},
  };
  for (const DispositionCase& c : cases) {
    SCOPED_TRACE(c.label);
    testing::TempFolder dir;
    const std::string path = dir.Path("f.bin");
    if (c.exists) dir.WriteFile("f.bin", "12345");
    TFile f;
    EXPECT_EQ(OpenIn(f, path, c.disposition, c.access), c.error == 0);
    EXPECT_EQ(f.LastError(), c.error);
    if (c.error == 0) {
      EXPECT_EQ(f.Size(), c.size);
    }
    f.Close();
    if (c.exists) {
      EXPECT_EQ(dir.ReadFile("f.bin").size(), c.size);
    }
  }
}

TEST(TFile, MissingFolderAndFolderAsFileGiveTheirOwnCodes) {
  testing::TempFolder dir;
  TFile f;
  EXPECT_FALSE(OpenIn(f, dir.Path("no-such-folder") + "/x.bin", kOpenAlways));
  EXPECT_EQ(f.LastError(), kErrorPathNotFound);
  EXPECT_FALSE(OpenIn(f, dir.Path(), kOpenExisting, kGenericRead));
  EXPECT_EQ(f.LastError(), kErrorAccessDenied);
}

TEST(TFile, ShortReadFailsWithTheBytesItGot) {
  testing::TempFolder dir;
  TFile f(dir.Path("data.bin"), kReadWrite, false, kAttributeNormal, kCreateAlways, kShareAll);
  ASSERT_TRUE(f.IsOpen());
  std::vector<char> data(40);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i + 1);
  ASSERT_TRUE(f.Write(data.data(), 40));
  EXPECT_EQ(f.Transferred(), 40u);
  ASSERT_TRUE(f.SeekFromStart(0));

  std::vector<char> got(100, 0);
  EXPECT_FALSE(f.Read(got.data(), 100));
  EXPECT_TRUE(f.Failed());
  EXPECT_EQ(f.Transferred(), 40u);
  EXPECT_EQ(f.LastError(), kErrorHandleEof);
  EXPECT_EQ(std::memcmp(got.data(), data.data(), 40), 0);

  // At the end nothing more comes; a successful read clears the error.
  EXPECT_FALSE(f.Read(got.data(), 1));
  EXPECT_EQ(f.Transferred(), 0u);
  ASSERT_TRUE(f.Seek(-10, SeekOrigin::kEnd));
  EXPECT_TRUE(f.Read(got.data(), 10));
  EXPECT_FALSE(f.Failed());
  EXPECT_EQ(f.LastError(), 0u);
  EXPECT_EQ(got[0], 31);
}

TEST(TFile, ImpossibleCountsAreRefusedBeforeThePlatform) {
  testing::TempFolder dir;
  TFile f(dir.Path("data.bin"), kReadWrite, false, kAttributeNormal, kCreateAlways, kShareAll);
  ASSERT_TRUE(f.Write("abc", 3));
  char buffer[8] = {};
  const std::int64_t counts[] = {-1, -0x100000000ll, 0x100000000ll, INT64_MAX};
  for (const std::int64_t count : counts) {
    SCOPED_TRACE(count);
    EXPECT_FALSE(f.Write(buffer, count));
    EXPECT_EQ(f.LastError(), kErrorInvalidParameter);
    EXPECT_EQ(f.Transferred(), 0u);
    EXPECT_FALSE(f.Read(buffer, count));
    EXPECT_EQ(f.LastError(), kErrorInvalidParameter);
    EXPECT_EQ(f.Transferred(), 0u);
  }
  EXPECT_EQ(f.Size(), 3u);

  TFile loud(dir.Path("loud.bin"), kReadWrite, true, kAttributeNormal, kCreateAlways, kShareAll);
  EXPECT_THROW(loud.Write(buffer, -5), int);
  EXPECT_EQ(loud.LastError(), kErrorInvalidParameter);
}

TEST(TFile, WithoutAFileOrBufferTransfersFailAndKeepLastError) {
  testing::TempFolder dir;
  TFile f;
  EXPECT_FALSE(OpenIn(f, dir.Path("missing"), kOpenExisting));
  ASSERT_EQ(f.LastError(), kErrorFileNotFound);
  char buffer[4] = {};
  EXPECT_FALSE(f.Write(buffer, 4));
  EXPECT_FALSE(f.Read(buffer, 4));
  EXPECT_EQ(f.LastError(), kErrorFileNotFound);
  EXPECT_EQ(f.Transferred(), 0u);
  EXPECT_EQ(f.Size(), 0u);
  EXPECT_FALSE(f.Seek(0, SeekOrigin::kBegin));
  EXPECT_EQ(f.LastError(), kErrorInvalidHandle);

  ASSERT_TRUE(OpenIn(f, dir.Path("f.bin"), kCreateAlways));
  EXPECT_TRUE(f.Write(buffer, 4));
  EXPECT_FALSE(f.Write(nullptr, 4));
  EXPECT_TRUE(f.Failed());
  EXPECT_EQ(f.LastError(), 0u);
  EXPECT_EQ(f.Size(), 4u);
}

TEST(TFile, SizeWithoutAFileLeavesFailedAlone) {
  TFile f;
  f.Close();
  EXPECT_FALSE(f.Failed());
  EXPECT_EQ(f.Size(), 0u);
  EXPECT_FALSE(f.Failed());
}

TEST(TFile, CloseTwiceAndOpenOnOpenChangeNothing) {
  testing::TempFolder dir;
  TFile f(true);
  ASSERT_TRUE(OpenIn(f, dir.Path("a.bin"), kCreateAlways));
  // A second Open neither throws nor replaces the file.
  EXPECT_FALSE(OpenIn(f, dir.Path("b.bin"), kCreateAlways));
  EXPECT_FALSE(f.Failed());
  EXPECT_TRUE(f.IsOpen());
  EXPECT_FALSE(dir.Exists("b.bin"));
  EXPECT_TRUE(f.Write("xy", 2));

  EXPECT_TRUE(f.Close());
  EXPECT_FALSE(f.IsOpen());
  EXPECT_FALSE(f.Close());  // no throw, no change
  EXPECT_FALSE(f.Failed());
  EXPECT_EQ(dir.ReadFile("a.bin"), "xy");
}

TEST(TFile, WriteLineAddsCrLfOnlyAfterTheText) {
  testing::TempFolder dir;
  {
    TFile f(dir.Path("log.txt"), kGenericWrite, false, kAttributeNormal, kOpenAlways, kShareAll);
    EXPECT_TRUE(f.WriteLine("first"));
    EXPECT_TRUE(f.WriteLine(""));
    EXPECT_FALSE(f.WriteLine(nullptr));
  }
  EXPECT_EQ(dir.ReadFile("log.txt"), "first\r\n\r\n");

  TFile reader(dir.Path("log.txt"), kGenericRead, false, kAttributeNormal, kOpenExisting,
               kShareAll);
  EXPECT_FALSE(reader.WriteLine("text"));
  EXPECT_TRUE(reader.Failed());
  EXPECT_EQ(reader.LastError(), kErrorAccessDenied);
  EXPECT_EQ(reader.Size(), 9u);
}

TEST(TFile, SeekingBeforeTheStartFails) {
  testing::TempFolder dir;
  TFile f(dir.Path("s.bin"), kReadWrite, false, kAttributeNormal, kCreateAlways, kShareAll);
  ASSERT_TRUE(f.Write("0123456789", 10));
  EXPECT_FALSE(f.Seek(-11, SeekOrigin::kEnd));
  EXPECT_EQ(f.LastError(), kErrorNegativeSeek);
  ASSERT_TRUE(f.SeekFromStart(4));
  ASSERT_TRUE(f.Seek(2, SeekOrigin::kCurrent));
  char c = 0;
  ASSERT_TRUE(f.Read(&c, 1));
  EXPECT_EQ(c, '6');
}

TEST(TFile, Utf8AndUtf16NamesReachTheSameFile) {
  testing::TempFolder dir;
  const std::string name = "\xD0\xBF\xD1\x80\xD0\xBE\xD1\x82\xD0\xBE\xD0\xBA\xD0\xBE\xD0\xBB.log";
  const std::string utf8 = dir.Path(name);
  std::u16string utf16;
  for (std::size_t i = 0; i < utf8.size(); ++i) {  // ASCII and two-byte sequences only
    const auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      utf16 += static_cast<char16_t>(c);
    } else {
      utf16 += static_cast<char16_t>(((c & 0x1F) << 6) | (utf8[++i] & 0x3F));
    }
  }
  {
    TFile w(utf16, kGenericWrite, true, kAttributeNormal, kCreateNew, kShareAll);
    EXPECT_TRUE(w.Write("ok", 2));
  }
  EXPECT_EQ(dir.ReadFile(name), "ok");
  TFile r(utf8, kGenericRead, true, kAttributeNormal, kOpenExisting, kShareAll);
  EXPECT_EQ(r.Size(), 2u);
}

TEST(FileSystem, ExistenceCreationAndDeletion) {
  testing::TempFolder dir;
  const std::string sub = dir.Path("sub");
  const std::string file = dir.WriteFile("f.txt", "x");
  EXPECT_TRUE(platform::FileExists(file));
  EXPECT_FALSE(platform::DirectoryExists(file));
  EXPECT_FALSE(platform::FileExists(dir.Path()));
  EXPECT_TRUE(platform::DirectoryExists(dir.Path()));

  EXPECT_TRUE(platform::CreateDirectoryOnce(sub));
  EXPECT_TRUE(platform::CreateDirectoryOnce(sub));  // already there
  EXPECT_TRUE(platform::DirectoryExists(sub));
  EXPECT_FALSE(platform::CreateDirectoryOnce(file));             // a file is in the way
  EXPECT_FALSE(platform::CreateDirectoryOnce(dir.Path("a/b")));  // one level only

  EXPECT_TRUE(platform::DeleteFileAt(file));
  EXPECT_FALSE(platform::FileExists(file));
  EXPECT_FALSE(platform::DeleteFileAt(file));
}

TEST(FileSystem, ExecutableAndCommonDataFolder) {
  const std::string exe = platform::ExecutablePath();
  EXPECT_TRUE(platform::FileExists(exe)) << exe;
  // The file name follows the last separator.
  EXPECT_EQ(exe.substr(exe.find_last_of(platform::PathSeparator()) + 1, 13), "platform_test");
  const std::optional<std::string> common = platform::CommonAppDataFolder();
  ASSERT_TRUE(common.has_value());
  EXPECT_TRUE(platform::DirectoryExists(*common)) << *common;
  EXPECT_NE(common->back(), platform::PathSeparator());
}

#ifndef _WIN32
TEST(FileSystem, CommonDataFolderFollowsProgramData) {
  testing::TempFolder dir;
  const char* old = std::getenv("PROGRAMDATA");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("PROGRAMDATA", (dir.Path("pd/deep") + "/").c_str(), 1);
  EXPECT_EQ(platform::CommonAppDataFolder(), dir.Path("pd/deep"));
  EXPECT_TRUE(platform::DirectoryExists(dir.Path("pd/deep")));
  ::setenv("PROGRAMDATA", "", 1);
  EXPECT_EQ(platform::CommonAppDataFolder(), "/var/lib");
  ::setenv("PROGRAMDATA", dir.WriteFile("plain", "").c_str(), 1);  // not a folder
  EXPECT_FALSE(platform::CommonAppDataFolder().has_value());
  if (old != nullptr) {
    ::setenv("PROGRAMDATA", saved.c_str(), 1);
  } else {
    ::unsetenv("PROGRAMDATA");
  }
}
#endif

}  // namespace
}  // namespace corvid
