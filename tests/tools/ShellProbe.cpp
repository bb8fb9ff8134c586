// Started by the support library's tests through the shell: records how it was started. The
// first argument names the output file; the file receives, as UTF-8, the rest of the command
// line after that argument, a line break and the working directory. It is written under a
// temporary name and then moved into place, so a polling test never sees half of it.
#include <windows.h>

#include <string>

namespace {

const wchar_t *SkipArgument(const wchar_t *Text, std::wstring *Value) {
  while (*Text == L' ' || *Text == L'\t')
    ++Text;
  const wchar_t *Start = Text;
  if (*Text == L'"') {
    ++Start;
    ++Text;
    while (*Text && *Text != L'"')
      ++Text;
    if (Value)
      Value->assign(Start, Text);
    if (*Text)
      ++Text;
  } else {
    while (*Text && *Text != L' ' && *Text != L'\t')
      ++Text;
    if (Value)
      Value->assign(Start, Text);
  }
  while (*Text == L' ' || *Text == L'\t')
    ++Text;
  return Text;
}

std::string Utf8(const std::wstring &Text) {
  if (Text.empty())
    return {};
  int Size = WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), nullptr, 0, nullptr,
                                 nullptr);
  std::string Result(static_cast<size_t>(Size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, Text.data(), static_cast<int>(Text.size()), Result.data(), Size, nullptr,
                      nullptr);
  return Result;
}

} // namespace

int main() {
  std::wstring Target;
  const wchar_t *Rest = SkipArgument(SkipArgument(GetCommandLineW(), nullptr), &Target);
  if (Target.empty())
    return 2;
  wchar_t Directory[32768];
  DWORD Length = GetCurrentDirectoryW(32768, Directory);
  const std::string Bytes = Utf8(std::wstring(Rest) + L"\n" + std::wstring(Directory, Length));
  const std::wstring Part = Target + L".part";
  HANDLE File =
      CreateFileW(Part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (File == INVALID_HANDLE_VALUE)
    return 1;
  DWORD Done = 0;
  WriteFile(File, Bytes.data(), static_cast<DWORD>(Bytes.size()), &Done, nullptr);
  CloseHandle(File);
  return MoveFileExW(Part.c_str(), Target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 1;
}
