#pragma once

#include <windows.h>

#include <string>

// A fresh folder under the temporary directory for one test, removed with everything in it.
class THostFolder {
public:
  THostFolder(const THostFolder &) = delete;
  THostFolder &operator=(const THostFolder &) = delete;
  explicit THostFolder(const std::wstring &Prefix) {
    wchar_t Temp[MAX_PATH];
    DWORD Length = GetTempPathW(MAX_PATH, Temp);
    static int Counter = 0;
    FPath = std::wstring(Temp, Length) + L"velmora-" + Prefix + L"-" +
            std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++Counter);
    CreateDirectoryW(FPath.c_str(), nullptr);
  }
  ~THostFolder() { Remove(FPath); }
  const std::wstring &Path() const { return FPath; }
  std::wstring Sub(const std::wstring &Name) const { return FPath + L"\\" + Name; }
  void File(const std::wstring &Name, const std::string &Bytes) const {
    HANDLE H = CreateFileW(Sub(Name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    DWORD Written = 0;
    WriteFile(H, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Written, nullptr);
    CloseHandle(H);
  }
  void Folder(const std::wstring &Name) const { CreateDirectoryW(Sub(Name).c_str(), nullptr); }

private:
  static void Remove(const std::wstring &Path) {
    WIN32_FIND_DATAW Data;
    HANDLE Find = FindFirstFileW((Path + L"\\*").c_str(), &Data);
    if (Find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring Name = Data.cFileName;
        if (Name == L"." || Name == L"..")
          continue;
        std::wstring Full = Path + L"\\" + Name;
        SetFileAttributesW(Full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          Remove(Full);
        else
          DeleteFileW(Full.c_str());
      } while (FindNextFileW(Find, &Data));
      FindClose(Find);
    }
    RemoveDirectoryW(Path.c_str());
  }
  std::wstring FPath;
};
