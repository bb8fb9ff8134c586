#include "Files.h"
#include "Streams.h"
#include "Strings.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <cstddef>
#include <vector>

namespace {

std::wstring CurrentDirectory() {
  wchar_t Buffer[MAX_PATH + 1];
  DWORD Length = ::GetCurrentDirectoryW(MAX_PATH + 1, Buffer);
  return std::wstring(Buffer, Length);
}

FILETIME MakeFileTime(uint64_t Value) {
  return FILETIME{static_cast<DWORD>(Value & 0xFFFFFFFF), static_cast<DWORD>(Value >> 32)};
}

// 1 January 2000, 00:00:00 UTC.
constexpr uint64_t Y2000 = 125911584000000000ull;
constexpr double Y2000Days = 36526.0;

} // namespace

TEST(LongPathName, PrefixesLocalAndNetworkPaths) {
  EXPECT_EQ(LongPathName(L"C:\\data"), L"\\\\?\\C:\\data");
  EXPECT_EQ(LongPathName(L"C:\\data\\"), L"\\\\?\\C:\\data\\");
  EXPECT_EQ(LongPathName(L"\\\\srv\\share\\x"), L"\\\\?\\UNC\\srv\\share\\x");
  EXPECT_EQ(LongPathName(L"C:\\a\\..\\b\\.\\c"), L"\\\\?\\C:\\b\\c");
}

TEST(LongPathName, LeavesNamespacePathsAlone) {
  EXPECT_EQ(LongPathName(L"\\\\?\\D:\\y"), L"\\\\?\\D:\\y");
  EXPECT_EQ(LongPathName(L"\\\\?\\UNC\\srv\\share"), L"\\\\?\\UNC\\srv\\share");
  EXPECT_EQ(LongPathName(L"\\\\.\\PhysicalDrive0"), L"\\\\.\\PhysicalDrive0");
}

TEST(LongPathName, ExpandsRelativePathsAgainstTheCurrentDirectory) {
  std::wstring Current = CurrentDirectory();
  if (Current.back() != L'\\')
    Current += L'\\';
  EXPECT_EQ(LongPathName(L"sub\\file.txt"), L"\\\\?\\" + Current + L"sub\\file.txt");
  EXPECT_EQ(ExpandFileName(L"sub\\file.txt"), Current + L"sub\\file.txt");
}

TEST(RemoveLongPathPrefix, GivesTheDisplayForm) {
  EXPECT_EQ(RemoveLongPathPrefix(L"\\\\?\\UNC\\srv\\share\\x"), L"\\\\srv\\share\\x");
  EXPECT_EQ(RemoveLongPathPrefix(L"\\\\?\\unc\\srv\\share\\x"), L"\\\\srv\\share\\x");
  EXPECT_EQ(RemoveLongPathPrefix(L"\\\\?\\C:\\data"), L"C:\\data");
  EXPECT_EQ(RemoveLongPathPrefix(L"C:\\data"), L"C:\\data");
  EXPECT_EQ(RemoveLongPathPrefix(L"\\\\srv\\share"), L"\\\\srv\\share");
  EXPECT_EQ(RemoveLongPathPrefix(L"\\\\.\\PhysicalDrive0"), L"\\\\.\\PhysicalDrive0");
  EXPECT_EQ(RemoveLongPathPrefix(L"\\\\?"), L"\\\\?");
  EXPECT_EQ(RemoveLongPathPrefix(L""), L"");
}

TEST(RemoveLongPathPrefix, UndoesLongPathName) {
  for (const wchar_t *Path : {L"C:\\data\\", L"\\\\srv\\share\\x\\y.txt", L"D:\\"})
    EXPECT_EQ(RemoveLongPathPrefix(LongPathName(Path)), Path);
}

TEST(ExtractParentPath, DropsTheLastComponent) {
  EXPECT_EQ(ExtractParentPath(L"C:\\a\\b\\"), L"C:\\a\\b");
  EXPECT_EQ(ExtractParentPath(L"C:\\a\\b"), L"C:\\a");
  EXPECT_EQ(ExtractParentPath(L"C:\\a"), L"C:");
  EXPECT_EQ(ExtractParentPath(L"C:"), L"");
  EXPECT_EQ(ExtractParentPath(L"\\x"), L"");
  EXPECT_EQ(ExtractParentPath(L"a\\b"), L"a");
  EXPECT_EQ(ExtractParentPath(L""), L"");
}

TEST(ExtractParentPath, RepeatedUseEndsAtTheEmptyString) {
  for (const wchar_t *Start :
       {L"\\\\?\\UNC\\srv\\share\\dir\\", L"C:\\a\\b\\c\\", L"\\\\\\\\", L"***\\x\\y"}) {
    std::wstring Path = Start;
    int Steps = 0;
    while (!Path.empty() && Steps < 100) {
      const std::wstring Parent = ExtractParentPath(Path);
      EXPECT_LT(Parent.size(), Path.size());
      Path = Parent;
      ++Steps;
    }
    EXPECT_TRUE(Path.empty()) << "from " << testing::PrintToString(std::wstring(Start));
  }
}

TEST(ExpandEnvironment, ExpandsKnownVariablesOnly) {
  EXPECT_EQ(ExpandEnvironment(L"plain text, no signs"), L"plain text, no signs");
  EXPECT_EQ(ExpandEnvironment(L""), L"");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"VELMORA_TEST_TOOL", L"C:\\Tools"));
  EXPECT_EQ(ExpandEnvironment(L"%VELMORA_TEST_TOOL%\\diff.exe"), L"C:\\Tools\\diff.exe");
  EXPECT_EQ(ExpandEnvironment(L"%VELMORA_TEST_UNDEFINED%\\x"), L"%VELMORA_TEST_UNDEFINED%\\x");
  ::SetEnvironmentVariableW(L"VELMORA_TEST_TOOL", nullptr);
}

TEST(ExpandEnvironment, ResultLongerThanTheFirstBufferIsComplete) {
  const std::wstring Long(20000, L'x');
  ASSERT_TRUE(::SetEnvironmentVariableW(L"VELMORA_TEST_LONG", Long.c_str()));
  EXPECT_EQ(ExpandEnvironment(L"<%VELMORA_TEST_LONG%>"), L"<" + Long + L">");
  ::SetEnvironmentVariableW(L"VELMORA_TEST_LONG", nullptr);
}

TEST(FileTimeToDays, CountsDaysSince30December1899WithTheTimeOfDay) {
  EXPECT_DOUBLE_EQ(FileTimeToDays(MakeFileTime(Y2000), false), Y2000Days);
  // 12:30:15.250 plus 1234 units of 100 ns below the millisecond.
  const uint64_t Time = Y2000 + (45015ull * 1000 + 250) * 10000 + 1234;
  const double Expected = Y2000Days + 45015250.0 / 86400000.0 + 1234 * 100 * 1.1574074074074074e-14;
  EXPECT_NEAR(FileTimeToDays(MakeFileTime(Time), false), Expected, 2e-11);
  // The part below one millisecond is kept.
  EXPECT_NEAR(FileTimeToDays(MakeFileTime(Time), false) - FileTimeToDays(MakeFileTime(Time - 1234), false),
              1234e-7 / 86400.0, 2e-11);
  // The first day of file times lies before the day count's origin.
  EXPECT_DOUBLE_EQ(FileTimeToDays(MakeFileTime(0), false), -109205.0);
  // 30 December 1899 itself is day 0; 1 March 1900 is day 61 (1900 was no leap year).
  EXPECT_DOUBLE_EQ(FileTimeToDays(MakeFileTime(94353120000000000ull), false), 0.0);
  EXPECT_DOUBLE_EQ(FileTimeToDays(MakeFileTime(94353120000000000ull + 61ull * 864000000000ull), false), 61.0);
}

TEST(FileTimeToDays, LocalConversionUsesTheLocalFileTime) {
  const FILETIME Utc = MakeFileTime(Y2000 + 180ull * 864000000000ull + 12345678);
  FILETIME Local;
  ASSERT_TRUE(::FileTimeToLocalFileTime(&Utc, &Local));
  EXPECT_DOUBLE_EQ(FileTimeToDays(Utc, true), FileTimeToDays(Local, false));
}

TEST(FileTimeToDays, FailedConversionGivesZero) {
  const FILETIME Invalid{0xFFFFFFFF, 0xFFFFFFFF};
  EXPECT_EQ(FileTimeToDays(Invalid, false), 0.0);
  EXPECT_EQ(FileTimeToDays(Invalid, true), 0.0);
}

TEST(GetFileSizeByName, FilesDirectoriesAndMissingNames) {
  TTempFolder Folder;
  WriteAllBytes(Folder.File(L"f.bin"), std::string(12345, 'z'));
  EXPECT_EQ(GetFileSizeByName(Folder.File(L"f.bin")), 12345);
  WriteAllBytes(Folder.File(L"empty"), "");
  EXPECT_EQ(GetFileSizeByName(Folder.File(L"empty")), 0);
  ASSERT_TRUE(::CreateDirectoryW(Folder.File(L"dir").c_str(), nullptr));
  EXPECT_EQ(GetFileSizeByName(Folder.File(L"dir")), 0);
  EXPECT_EQ(GetFileSizeByName(Folder.File(L"dir\\")), 0);
  EXPECT_EQ(GetFileSizeByName(Folder.File(L"missing")), -1);
  EXPECT_EQ(GetFileSizeByName(Folder.File(L"missing\\deeper")), -1);
  // Readable while another program holds the file open without sharing.
  HANDLE Locked = ::CreateFileW(Folder.File(L"f.bin").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(Locked, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSizeByName(Folder.File(L"f.bin")), 12345);
  ::CloseHandle(Locked);
}

TEST(GetFileTimesByName, ReadsTheTimesOfFilesAndDirectories) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"t.txt");
  WriteAllBytes(Name, "x");
  const FILETIME Written = MakeFileTime(Y2000 + 1000ull * 864000000000ull + 360000000000ull);
  const FILETIME Accessed = MakeFileTime(Y2000 + 2000ull * 864000000000ull);
  {
    HANDLE File = ::CreateFileW(Name.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(File, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(::SetFileTime(File, nullptr, &Accessed, &Written));
    ::CloseHandle(File);
  }
  double C = -1, W = -1, A = -1;
  ASSERT_TRUE(GetFileTimesByName(Name, C, W, A, false));
  EXPECT_DOUBLE_EQ(W, Y2000Days + 1000 + 10.0 / 24);
  EXPECT_DOUBLE_EQ(A, Y2000Days + 2000);
  EXPECT_GT(C, 0);
  ASSERT_TRUE(GetFileTimesByName(Name, C, W, A, true));
  EXPECT_DOUBLE_EQ(W, FileTimeToDays(Written, true));

  // Directories are not reached by the open; the directory search supplies their times.
  ASSERT_TRUE(::CreateDirectoryW(Folder.File(L"d").c_str(), nullptr));
  ASSERT_TRUE(GetFileTimesByName(Folder.File(L"d"), C, W, A, true));
  EXPECT_GT(W, Y2000Days);

  ASSERT_FALSE(GetFileTimesByName(Folder.File(L"missing"), C, W, A, true));
  EXPECT_EQ(C, 0);
  EXPECT_EQ(W, 0);
  EXPECT_EQ(A, 0);
}

TEST(RealPathName, MissingPathGivesItsExpandedName) {
  EXPECT_EQ(RealPathName(L"C:\\velmora\\does\\not\\..\\exist"), L"C:\\velmora\\does\\exist");
  std::wstring Current = CurrentDirectory();
  if (Current.back() != L'\\')
    Current += L'\\';
  EXPECT_EQ(RealPathName(L"velmora-missing-file"), Current + L"velmora-missing-file");
}

TEST(RealPathName, SameDirectoryBySeveralNamesGivesOneResult) {
  ASSERT_TRUE(RealPathResolutionAvailable());
  TTempFolder Folder;
  ASSERT_TRUE(::CreateDirectoryW(Folder.File(L"Sub").c_str(), nullptr));
  WriteAllBytes(Folder.File(L"Sub\\f.txt"), "x");
  const std::wstring Real = RealPathName(Folder.File(L"Sub"));
  EXPECT_EQ(RealPathName(Folder.File(L"Sub\\.\\..\\Sub")), Real);
  EXPECT_EQ(RealPathName(Folder.File(L"SUB")), Real);
  EXPECT_EQ(RealPathName(Folder.File(L"Sub\\f.txt")), Real + L"\\f.txt");
  EXPECT_NE(RealPathName(Folder.File(L"Sub\\f.txt")), RealPathName(Folder.Path()));
  // The long form keeps its prefix, so long names stay usable.
  const std::wstring LongReal = RealPathName(LongPathName(Folder.File(L"Sub")));
  EXPECT_EQ(LongReal.rfind(L"\\\\?\\", 0), 0u) << testing::PrintToString(LongReal);
  EXPECT_EQ(RemoveLongPathPrefix(LongReal), Real);
}

namespace {

// The reparse data of a junction (a mount point): the kernel's layout.
struct TMountPointReparseBuffer {
  DWORD ReparseTag;
  WORD ReparseDataLength;
  WORD Reserved;
  WORD SubstituteNameOffset;
  WORD SubstituteNameLength;
  WORD PrintNameOffset;
  WORD PrintNameLength;
  WCHAR PathBuffer[1024];
};

bool CreateJunction(const std::wstring &Link, const std::wstring &Target) {
  if (!::CreateDirectoryW(Link.c_str(), nullptr))
    return false;
  HANDLE Handle = ::CreateFileW(Link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (Handle == INVALID_HANDLE_VALUE)
    return false;
  const std::wstring Substitute = L"\\??\\" + Target;
  TMountPointReparseBuffer Data{};
  Data.ReparseTag = IO_REPARSE_TAG_MOUNT_POINT;
  Data.SubstituteNameOffset = 0;
  Data.SubstituteNameLength = static_cast<WORD>(Substitute.size() * sizeof(WCHAR));
  Data.PrintNameOffset = static_cast<WORD>(Data.SubstituteNameLength + sizeof(WCHAR));
  Data.PrintNameLength = static_cast<WORD>(Target.size() * sizeof(WCHAR));
  Substitute.copy(Data.PathBuffer, Substitute.size());
  Target.copy(Data.PathBuffer + Substitute.size() + 1, Target.size());
  Data.ReparseDataLength =
      static_cast<WORD>(8 + Data.SubstituteNameLength + Data.PrintNameLength + 2 * sizeof(WCHAR));
  DWORD Returned = 0;
  const BOOL Done = ::DeviceIoControl(Handle, FSCTL_SET_REPARSE_POINT, &Data, Data.ReparseDataLength + 8,
                                      nullptr, 0, &Returned, nullptr);
  ::CloseHandle(Handle);
  return Done;
}

} // namespace

TEST(RealPathName, JunctionResolvesToItsTarget) {
  TTempFolder Folder;
  ASSERT_TRUE(::CreateDirectoryW(Folder.File(L"target").c_str(), nullptr));
  WriteAllBytes(Folder.File(L"target\\probe.txt"), "seen through the link");
  const bool Linked =
      CreateJunction(Folder.File(L"link"), Folder.File(L"target")) ||
      (::RemoveDirectoryW(Folder.File(L"link").c_str()),
       ::CreateSymbolicLinkW(Folder.File(L"link").c_str(), Folder.File(L"target").c_str(),
                             SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE));
  if (!Linked || ::GetFileAttributesW(Folder.File(L"link\\probe.txt").c_str()) == INVALID_FILE_ATTRIBUTES)
    GTEST_SKIP() << "neither junctions nor directory links are supported here";
  EXPECT_EQ(RealPathName(Folder.File(L"link")), RealPathName(Folder.File(L"target")));
  EXPECT_NE(RealPathName(Folder.File(L"link")), ExpandFileName(Folder.File(L"link")));
}

TEST(LongPaths, HelpersAndStreamsWorkBeyond260Characters) {
  TTempFolder Folder;
  std::wstring Deep = LongPathName(Folder.Path());
  for (int Level = 0; Level < 6; ++Level) {
    Deep += L"\\" + std::wstring(50, static_cast<wchar_t>(L'a' + Level));
    ASSERT_TRUE(::CreateDirectoryW(Deep.c_str(), nullptr)) << "level " << Level;
  }
  const std::wstring Name = Deep + L"\\document.txt";
  ASSERT_GT(RemoveLongPathPrefix(Name).size(), 300u);
  {
    TTextStream Output(Name, fmCreate);
    Output.SetEncoding(teUtf8);
    Output.WriteLine(L"deep line");
    Output.Flush();
  }
  EXPECT_EQ(GetFileSizeByName(Name), 3 + 9 + 2);
  double C, W, A;
  EXPECT_TRUE(GetFileTimesByName(Name, C, W, A, true));
  EXPECT_GT(W, Y2000Days);
  EXPECT_EQ(GetFileSizeByName(Deep), 0);
  {
    TTextStream Input(Name, fmOpenRead | fmShareDenyWrite);
    std::wstring Line;
    ASSERT_TRUE(Input.ReadLine(Line));
    EXPECT_EQ(Line, L"deep line");
  }
  const std::wstring Real = RealPathName(Name);
  EXPECT_EQ(Real.rfind(L"\\\\?\\", 0), 0u);
  EXPECT_GT(Real.size(), 300u);
  EXPECT_EQ(ExtractParentPath(Name), Deep);
}

namespace {

std::wstring ProgramFolder() {
  wchar_t Buffer[MAX_PATH + 1];
  DWORD Length = ::GetModuleFileNameW(nullptr, Buffer, MAX_PATH + 1);
  std::wstring Path(Buffer, Length);
  return Path.substr(0, Path.rfind(L'\\') + 1);
}

// The probe's record: the command line after its output argument, and its working directory.
bool WaitForProbe(const std::wstring &Output, std::wstring &Arguments, std::wstring &Directory) {
  for (int Attempt = 0; Attempt < 200; ++Attempt) {
    if (::GetFileAttributesW(Output.c_str()) != INVALID_FILE_ATTRIBUTES) {
      const std::wstring Text = MultiByteToUnicode(CP_UTF8, ReadAllBytes(Output));
      const size_t Break = Text.find(L'\n');
      Arguments = Text.substr(0, Break);
      Directory = Break == std::wstring::npos ? std::wstring() : Text.substr(Break + 1);
      return true;
    }
    ::Sleep(50);
  }
  return false;
}

std::wstring WithoutTrailingBackslash(std::wstring Path) {
  if (Path.size() > 3 && Path.back() == L'\\')
    Path.pop_back();
  return Path;
}

} // namespace

TEST(ShellOpen, StartsTheProgramInItsOwnFolderWithTheParameters) {
  TTempFolder Folder;
  const std::wstring Probe = ProgramFolder() + L"ShellProbe.exe";
  ASSERT_NE(::GetFileAttributesW(Probe.c_str()), INVALID_FILE_ATTRIBUTES);
  const std::wstring Output = Folder.File(L"probe.txt");
  const int32_t Result = ShellOpen(Probe, L"\"" + Output + L"\" \"left file.txt\" right.txt");
  EXPECT_GT(Result, 32);
  std::wstring Arguments, Directory;
  ASSERT_TRUE(WaitForProbe(Output, Arguments, Directory));
  EXPECT_EQ(Arguments, L"\"left file.txt\" right.txt");
  EXPECT_EQ(_wcsicmp(WithoutTrailingBackslash(Directory).c_str(),
                     WithoutTrailingBackslash(ProgramFolder()).c_str()),
            0)
      << testing::PrintToString(Directory);
}

TEST(ShellOpen, LongerFormsUseTheGivenDirectory) {
  TTempFolder Folder;
  const std::wstring Probe = ProgramFolder() + L"ShellProbe.exe";
  const std::wstring Output = Folder.File(L"probe.txt");
  // The temporary root, not the test's folder: a folder that a running program works in cannot
  // be removed.
  const std::wstring WorkIn = ExtractParentPath(Folder.Path());
  EXPECT_GT(ShellOpenShow(Probe, L"\"" + Output + L"\"", WorkIn, SW_SHOWMINNOACTIVE), 32);
  std::wstring Arguments, Directory;
  ASSERT_TRUE(WaitForProbe(Output, Arguments, Directory));
  EXPECT_EQ(Arguments, L"");
  EXPECT_EQ(_wcsicmp(WithoutTrailingBackslash(Directory).c_str(), WorkIn.c_str()), 0)
      << testing::PrintToString(Directory);
}
