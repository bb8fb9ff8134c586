#include "TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <vector>

namespace {
std::atomic<unsigned> FolderCounter{0};
}

TTempFolder::TTempFolder() {
  wchar_t Temp[MAX_PATH + 1];
  DWORD Length = ::GetTempPathW(MAX_PATH + 1, Temp);
  std::wstring Base(Temp, Length);
  if (!Base.empty() && Base.back() == L'\\')
    Base.pop_back();
  for (;;) {
    FPath = Base + L"\\velmora-support-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(::GetTickCount()) + L"-" + std::to_wstring(++FolderCounter);
    if (::CreateDirectoryW(FPath.c_str(), nullptr))
      return;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) {
      ADD_FAILURE() << "cannot create a temporary folder";
      return;
    }
  }
}

TTempFolder::~TTempFolder() {
  RemoveTree(FPath);
}

void RemoveTree(const std::wstring &Path) {
  const std::wstring Long = Path.starts_with(L"\\\\?\\") ? Path : L"\\\\?\\" + Path;
  WIN32_FIND_DATAW Data;
  HANDLE Find = ::FindFirstFileW((Long + L"\\*").c_str(), &Data);
  if (Find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring Name = Data.cFileName;
      if (Name == L"." || Name == L"..")
        continue;
      const std::wstring Child = Long + L"\\" + Name;
      if (Data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        if (Data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
          ::RemoveDirectoryW(Child.c_str());
        else
          RemoveTree(Child);
      } else {
        ::SetFileAttributesW(Child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(Child.c_str());
      }
    } while (::FindNextFileW(Find, &Data));
    ::FindClose(Find);
  }
  ::RemoveDirectoryW(Long.c_str());
}

std::string ReadAllBytes(const std::wstring &FileName) {
  HANDLE File = ::CreateFileW(FileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE) {
    ADD_FAILURE() << "cannot open a file for reading";
    return {};
  }
  std::string Result;
  char Chunk[65536];
  DWORD Done = 0;
  while (::ReadFile(File, Chunk, sizeof(Chunk), &Done, nullptr) && Done > 0)
    Result.append(Chunk, Done);
  ::CloseHandle(File);
  return Result;
}

void WriteAllBytes(const std::wstring &FileName, const std::string &Bytes) {
  HANDLE File = ::CreateFileW(FileName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(File, INVALID_HANDLE_VALUE) << "cannot create a file";
  DWORD Done = 0;
  const BOOL Written = ::WriteFile(File, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Done, nullptr);
  ::CloseHandle(File);
  ASSERT_TRUE(Written && Done == Bytes.size());
}

std::string Hex(const std::string &Bytes) {
  std::string Result;
  char Pair[4];
  for (unsigned char Byte : Bytes) {
    std::snprintf(Pair, sizeof(Pair), Result.empty() ? "%02X" : " %02X", Byte);
    Result += Pair;
  }
  return Result;
}

std::string Bytes(const char *HexText) {
  std::string Result;
  unsigned Value;
  int Used;
  while (std::sscanf(HexText, " %2x%n", &Value, &Used) == 1) {
    Result.push_back(static_cast<char>(Value));
    HexText += Used;
  }
  return Result;
}
