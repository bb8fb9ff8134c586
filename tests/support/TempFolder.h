#pragma once

// Fresh temporary folders and raw file access for the support library's tests: the streams are
// checked against the bytes on disk, read and written here without them.

#include <windows.h>

#include <cstdint>
#include <string>

// A new empty folder under the temporary directory, removed with everything in it (junctions
// are removed, never followed) when the object goes.
class TTempFolder {
public:
  TTempFolder();
  ~TTempFolder();
  TTempFolder(const TTempFolder &) = delete;
  TTempFolder &operator=(const TTempFolder &) = delete;

  // The folder without a trailing backslash.
  const std::wstring &Path() const { return FPath; }
  std::wstring File(const std::wstring &Name) const { return FPath + L"\\" + Name; }

private:
  std::wstring FPath;
};

void RemoveTree(const std::wstring &Path);

std::string ReadAllBytes(const std::wstring &FileName);
void WriteAllBytes(const std::wstring &FileName, const std::string &Bytes);
// Bytes written as hexadecimal pairs ("EF BB BF 61"), for readable failures.
std::string Hex(const std::string &Bytes);
// Bytes from hexadecimal pairs separated by blanks.
std::string Bytes(const char *HexText);
