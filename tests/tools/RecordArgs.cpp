// A stand-in for the external compare program: writes the arguments it was started with (the raw
// command line after the program name, exactly as the shell passed it) to a file, so a test can
// check the command line the plug-in built.
//
// The file is named by the environment variable VELMORA_RECORD_ARGS_FILE; without it, the first
// argument names the file and the rest of the command line is recorded. The text is written as
// UTF-8 to a temporary name first and then moved into place, so a test that polls for the file
// never reads it half-written.
#include <windows.h>

#include <string>

namespace {

// The command line with its first token (the program, quoted or not) and the blanks after it removed.
const wchar_t *SkipToken(const wchar_t *p) {
  if (*p == L'"') {
    ++p;
    while (*p && *p != L'"')
      ++p;
    if (*p == L'"')
      ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t')
      ++p;
  }
  while (*p == L' ' || *p == L'\t')
    ++p;
  return p;
}

std::wstring TokenText(const wchar_t *begin, const wchar_t *end) {
  std::wstring text(begin, end);
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t'))
    text.pop_back();
  if (text.size() >= 2 && text.front() == L'"' && text.back() == L'"')
    text = text.substr(1, text.size() - 2);
  return text;
}

bool WriteUtf8(const std::wstring &fileName, const std::wstring &text) {
  std::string bytes;
  if (!text.empty()) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                   nullptr, nullptr);
    bytes.resize(size);
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
  }
  std::wstring partName = fileName + L".part";
  HANDLE file =
      CreateFileW(partName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  CloseHandle(file);
  return ok && MoveFileExW(partName.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING);
}

} // namespace

int main() {
  const wchar_t *arguments = SkipToken(GetCommandLineW());
  wchar_t buffer[32768];
  DWORD length = GetEnvironmentVariableW(L"VELMORA_RECORD_ARGS_FILE", buffer, 32768);
  std::wstring target;
  if (length > 0 && length < 32768) {
    target.assign(buffer, length);
  } else {
    const wchar_t *rest = SkipToken(arguments);
    target = TokenText(arguments, rest);
    arguments = rest;
  }
  if (target.empty())
    return 2;
  return WriteUtf8(target, arguments) ? 0 : 1;
}
