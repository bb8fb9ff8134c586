#pragma once
// The differences document in the test host: a registered plug-in object, two real folders shown
// on the host's panels, and helpers to write the files and documents the tests start from.

#include "Differences.h"
#include "HostDialogs.h"
#include "HostEditor.h"
#include "HostInProcess.h"
#include "HostPanels.h"
#include "HostScreen.h"
#include "Options.h"
#include "Streams.h"
#include "SynchronizeDirectories.h"
#include "Velmora.h"
#include "VelmoraMessages.h"
#include "compare/ScratchFiles.h"

#include <windows.h>

#include <string>
#include <vector>

namespace SyncTask {

inline void MakeDir(const std::wstring &Path) {
  ::CreateDirectoryW(Path.c_str(), nullptr);
}

inline void WriteFile(const std::wstring &Path, const std::string &Bytes) {
  ::SetFileAttributesW(Path.c_str(), FILE_ATTRIBUTE_NORMAL);
  HANDLE File = ::CreateFileW(Path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return;
  DWORD Written = 0;
  if (!Bytes.empty())
    ::WriteFile(File, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Written, nullptr);
  ::CloseHandle(File);
}

inline std::string ReadFile(const std::wstring &Path) {
  HANDLE File = ::CreateFileW(Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return "<missing>";
  std::string Bytes;
  static char Buffer[65536];
  DWORD Read = 0;
  while (::ReadFile(File, Buffer, sizeof(Buffer), &Read, nullptr) && Read > 0)
    Bytes.append(Buffer, Read);
  ::CloseHandle(File);
  return Bytes;
}

inline bool Exists(const std::wstring &Path) {
  return ::GetFileAttributesW(Path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline DWORD Attributes(const std::wstring &Path) {
  return ::GetFileAttributesW(Path.c_str());
}

// The names in a folder as the file system reports them (without "." and "..").
inline std::vector<std::wstring> Names(const std::wstring &Folder) {
  std::vector<std::wstring> Result;
  WIN32_FIND_DATAW Found{};
  HANDLE Search = ::FindFirstFileW((Folder + L"\\*").c_str(), &Found);
  if (Search == INVALID_HANDLE_VALUE)
    return Result;
  do {
    std::wstring Name = Found.cFileName;
    if (Name != L"." && Name != L"..")
      Result.push_back(Name);
  } while (::FindNextFileW(Search, &Found));
  ::FindClose(Search);
  return Result;
}

inline std::wstring Line(TDifferenceType Type, TDifferenceReason Reason, const std::wstring &Path,
                         bool IsDirectory = false) {
  return TDifferenceItem(Type, Reason, Path, IsDirectory).FormatLine();
}

// The folder on the small file system the test script mounts for the tests, where it could.
inline std::wstring FullDiskFolder(std::wstring &Why) {
  const wchar_t *Root = _wgetenv(L"VELMORA_FULL_DISK");
  if (!Root || !*Root) {
    Why = L"no small file system to fill: the test script mounts one only where the machine lets it";
    return {};
  }
  std::wstring Folder = std::wstring(Root) + L"\\right-" + std::to_wstring(::GetCurrentProcessId());
  ::CreateDirectoryW(Folder.c_str(), nullptr);
  return Folder;
}

} // namespace SyncTask

// Left and right folders on the host's panels, the plug-in registered and started.
class TSyncHostTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  void SetUp() override {
    TInProcessPluginTest<TVelmoraPlugin>::SetUp();
    Left = Scratch.Path() + L"\\left";
    Right = Scratch.Path() + L"\\right";
    SyncTask::MakeDir(Left);
    SyncTask::MakeDir(Right);
    HostPanels().SetFolder(THostSide::Left, Left);
    HostPanels().SetFolder(THostSide::Right, Right);
    // The tests delete for good and most of their small trees; the nets that would step in are
    // tested on their own.
    TVelmoraOptions Options;
    Options.Load();
    Options.DeleteToRecycleBin = false;
    Options.ConfirmMassDeletion = false;
    // The message at the end of each run is tested on its own.
    Options.ShowRunSummary = false;
    Options.Save();
  }
  void TearDown() override {
    TFarEditorManaged::FreeAdopted();
    TInProcessPluginTest<TVelmoraPlugin>::TearDown();
  }

  // A document over LeftDir and RightDir with these difference lines, shown and handed to the
  // registry as the comparison does.
  TSynchronizeTask &OpenDocument(const std::vector<std::wstring> &Lines, const std::wstring &LeftDir = {},
                                 const std::wstring &RightDir = {}, const TNameFilter &Filter = {}) {
    auto Task = std::make_unique<TSynchronizeTask>(LeftDir.empty() ? Left : LeftDir,
                                                   RightDir.empty() ? Right : RightDir, Filter);
    {
      TTextStream Stream(Task->GetFileName(), fmOpenReadWrite | fmShareDenyWrite);
      Stream.Seek(0, soEnd);
      for (const auto &L : Lines)
        Stream.WriteLine(L);
      Stream.Flush();
    }
    EXPECT_TRUE(Task->ShowDocument(true));
    TSynchronizeTask &Result = *Task;
    TFarEditorManaged::Adopt(std::move(Task));
    return Result;
  }

  THostEditor &Editors() { return THostEditor::Of(Host); }
  THostEditorWindow &Window() { return *Editors().Current(); }
  // The difference lines of a window, in order.
  static std::vector<std::wstring> DifferenceLines(const THostEditorWindow &W) {
    std::vector<std::wstring> Result;
    for (const auto &L : W.Lines()) {
      TDifferenceItem Item;
      if (Item.ParseLine(L))
        Result.push_back(L);
    }
    return Result;
  }
  void SetOption(bool TVelmoraOptions::*Field, bool Value) {
    TVelmoraOptions Options;
    Options.Load();
    Options.*Field = Value;
    Options.Save();
  }
  THostDialogUser User() { return THostDialogUser(Host.Script()); }

  // Removed without following links (wine's own removal would follow them).
  TScratchFolder Scratch;
  std::wstring Left, Right;
  // Lines before the first difference with the description on: title, 13 lines, empty line.
  static constexpr intptr_t HeaderLines = 15;
};

// Closing documents in the host: the synchronise dialog answered, the new document's lines, and
// the seams and console the run may use put back after each test.
class TSyncRunTest : public TSyncHostTest {
protected:
  void TearDown() override {
    TSynchronizeTask::SetCopyFileFunction(nullptr);
    TSynchronizeTask::SetMoveFileFunction(nullptr);
    TFarProgress::SetTickSource(nullptr);
    if (ConsoleReady)
      THostConsole::Flush();
    TSyncHostTest::TearDown();
  }
  std::wstring Text(int Message) { return HostStripHotKey(Host.Msg(Message)); }
  // The synchronise dialog confirmed as it comes.
  void Synchronise() { User().Press(Text(MOk)); }
  // Closes the document's window; true when a new document came up in its place.
  bool CloseDocument() {
    const intptr_t Id = Window().Id();
    Editors().Find(Id)->Close();
    return Editors().OpenCount() > 0 && Editors().Current()->Id() != Id;
  }
  std::vector<std::wstring> RemainingLines() {
    if (Editors().OpenCount() == 0)
      return {};
    return DifferenceLines(*Editors().Current());
  }
  // Names in the folder that the run left behind by mistake.
  static bool HasTemporaryFiles(const std::wstring &Folder) {
    for (const auto &Name : SyncTask::Names(Folder))
      if (Name.find(L"~vlm") == 0)
        return true;
    return false;
  }
  bool ConsoleReady = false;
};
