#pragma once

// Real files for the comparison and loop-protection tests: a fresh folder removed with its
// contents (links removed, never followed), files with given bytes and times, and directory links.

#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <string>
#include <vector>

// Under wine the Unix file system below the drives can be reached; links made there are what
// wine shows as directory reparse points.
inline std::string WineUnixPath(const std::wstring &Path) {
  using TUnixName = char *(CDECL *)(const wchar_t *);
  auto UnixName = reinterpret_cast<TUnixName>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (!UnixName)
    return {};
  char *Name = UnixName(Path.c_str());
  std::string Result = Name ? Name : "";
  HeapFree(GetProcessHeap(), 0, Name);
  return Result;
}

inline bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Starts a Unix program under wine and waits until Done says its work is visible (the handle of
// a Unix process does not tell when it ends).
template <class TDone> bool RunUnixProgram(const wchar_t *Program, const std::string &Arguments, TDone Done) {
  std::string Command = Arguments;
  std::wstring WideCommand(Command.begin(), Command.end());
  // The Unix program must not inherit the test program's output: when that is a pipe (as under
  // CTest), wine's later process starts in the same program wait on it and never return.
  SECURITY_ATTRIBUTES Inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE Null = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &Inheritable, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW Startup{};
  Startup.cb = sizeof Startup;
  Startup.dwFlags = STARTF_USESTDHANDLES;
  Startup.hStdInput = Startup.hStdOutput = Startup.hStdError = Null;
  PROCESS_INFORMATION Process{};
  BOOL Started = CreateProcessW(Program, WideCommand.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                &Startup, &Process);
  if (Null != INVALID_HANDLE_VALUE)
    CloseHandle(Null);
  if (!Started)
    return false;
  CloseHandle(Process.hProcess);
  CloseHandle(Process.hThread);
  for (int Attempt = 0; Attempt < 250; ++Attempt) {
    if (Done())
      return true;
    Sleep(20);
  }
  return Done();
}

class TScratchFolder {
public:
  TScratchFolder() {
    wchar_t Temp[MAX_PATH + 1];
    DWORD Length = GetTempPathW(MAX_PATH + 1, Temp);
    std::wstring Base(Temp, Length);
    if (!Base.empty() && Base.back() == L'\\')
      Base.pop_back();
    static unsigned Counter = 0;
    do
      FPath = Base + L"\\velmora-h6-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
              std::to_wstring(++Counter);
    while (!CreateDirectoryW(FPath.c_str(), nullptr) && GetLastError() == ERROR_ALREADY_EXISTS);
  }
  ~TScratchFolder() {
    // wine's RemoveDirectoryW on a Unix link removes the directory it leads to: there the
    // folder goes with rm, which never follows links.
    std::string Unix = UnderWine() ? WineUnixPath(FPath) : std::string();
    if (!Unix.empty())
      RunUnixProgram(L"Z:\\bin\\rm", "/bin/rm -rf \"" + Unix + "\"",
                     [&] { return GetFileAttributesW(FPath.c_str()) == INVALID_FILE_ATTRIBUTES; });
    else
      RemoveTree(FPath);
  }
  TScratchFolder(const TScratchFolder &) = delete;
  TScratchFolder &operator=(const TScratchFolder &) = delete;

  // Without a trailing backslash.
  const std::wstring &Path() const { return FPath; }
  std::wstring operator/(const std::wstring &Name) const { return FPath + L"\\" + Name; }

  static void RemoveTree(const std::wstring &Path) {
    DWORD Attributes = GetFileAttributesW(Path.c_str());
    if (Attributes == INVALID_FILE_ATTRIBUTES)
      return;
    if ((Attributes & FILE_ATTRIBUTE_DIRECTORY) && !(Attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      WIN32_FIND_DATAW Data;
      HANDLE Find = FindFirstFileW((Path + L"\\*").c_str(), &Data);
      if (Find != INVALID_HANDLE_VALUE) {
        do {
          std::wstring Name = Data.cFileName;
          if (Name != L"." && Name != L"..")
            RemoveTree(Path + L"\\" + Name);
        } while (FindNextFileW(Find, &Data));
        FindClose(Find);
      }
    }
    SetFileAttributesW(Path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (Attributes & FILE_ATTRIBUTE_DIRECTORY)
      RemoveDirectoryW(Path.c_str());
    else
      DeleteFileW(Path.c_str());
  }

private:
  std::wstring FPath;
};

inline bool WriteBytes(const std::wstring &FileName, const std::string &Bytes) {
  HANDLE File = CreateFileW(FileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return false;
  DWORD Written = 0;
  bool Ok = Bytes.empty() || WriteFile(File, Bytes.data(), DWORD(Bytes.size()), &Written, nullptr);
  CloseHandle(File);
  return Ok && Written == Bytes.size();
}

inline std::string ReadBytes(const std::wstring &FileName) {
  HANDLE File =
      CreateFileW(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return {};
  std::string Result;
  char Buffer[65536];
  DWORD Count = 0;
  while (ReadFile(File, Buffer, sizeof Buffer, &Count, nullptr) && Count)
    Result.append(Buffer, Count);
  CloseHandle(File);
  return Result;
}

// 100-ns ticks since 1601 as a FILETIME.
inline FILETIME TicksToFileTime(int64_t Ticks) {
  FILETIME Time;
  Time.dwLowDateTime = DWORD(uint64_t(Ticks) & 0xFFFFFFFFu);
  Time.dwHighDateTime = DWORD(uint64_t(Ticks) >> 32);
  return Time;
}

inline bool SetWriteTime(const std::wstring &FileName, int64_t Ticks) {
  HANDLE File = CreateFileW(FileName.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return false;
  FILETIME Time = TicksToFileTime(Ticks);
  bool Ok = SetFileTime(File, nullptr, nullptr, &Time);
  CloseHandle(File);
  return Ok;
}

// A directory link at Link that leads to Target (an existing directory): a junction where the
// file system makes them, else a symbolic link; under wine, where neither exists yet, a link of
// the Unix file system below the drive, which wine reports as a reparse point as well.
inline bool MakeDirectoryLink(const std::wstring &Link, const std::wstring &Target) {
  auto IsLinkToDirectory = [&] {
    DWORD Attributes = GetFileAttributesW(Link.c_str());
    return Attributes != INVALID_FILE_ATTRIBUTES && (Attributes & FILE_ATTRIBUTE_DIRECTORY);
  };
  if (CreateDirectoryW(Link.c_str(), nullptr)) {
    HANDLE Dir = CreateFileW(Link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    bool Made = false;
    if (Dir != INVALID_HANDLE_VALUE) {
      std::wstring Substitute = L"\\??\\" + Target;
      std::vector<char> Buffer(8 + 8 + (Substitute.size() + 1 + Target.size() + 1) * 2 + 16);
      auto *Header = reinterpret_cast<uint32_t *>(Buffer.data());
      auto *Fields = reinterpret_cast<uint16_t *>(Buffer.data() + 8);
      const uint16_t SubstituteBytes = uint16_t(Substitute.size() * 2),
                     PrintBytes = uint16_t(Target.size() * 2);
      Fields[0] = 0;
      Fields[1] = SubstituteBytes;
      Fields[2] = uint16_t(SubstituteBytes + 2);
      Fields[3] = PrintBytes;
      wchar_t *Names = reinterpret_cast<wchar_t *>(Buffer.data() + 16);
      Substitute.copy(Names, Substitute.size());
      Target.copy(Names + Substitute.size() + 1, Target.size());
      const DWORD DataLength = 8 + SubstituteBytes + 2 + PrintBytes + 2;
      Header[0] = IO_REPARSE_TAG_MOUNT_POINT;
      Header[1] = DataLength;
      DWORD Returned = 0;
      Made = DeviceIoControl(Dir, FSCTL_SET_REPARSE_POINT, Buffer.data(), 8 + DataLength, nullptr, 0,
                             &Returned, nullptr);
      CloseHandle(Dir);
    }
    if (Made && IsLinkToDirectory())
      return true;
    RemoveDirectoryW(Link.c_str());
  }
  if (CreateSymbolicLinkW(Link.c_str(), Target.c_str(),
                          SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
      IsLinkToDirectory())
    return true;
  RemoveDirectoryW(Link.c_str());

  const std::string UnixLink = WineUnixPath(Link), UnixTarget = WineUnixPath(Target);
  if (UnixLink.empty() || UnixTarget.empty())
    return false;
  return RunUnixProgram(L"Z:\\bin\\ln", "/bin/ln -s \"" + UnixTarget + "\" \"" + UnixLink + "\"",
                        IsLinkToDirectory);
}
