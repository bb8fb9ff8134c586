#include "HostLanguage.h"

#include <windows.h>

#include <cwctype>

namespace {

std::wstring Trim(const std::wstring &s) {
  size_t b = 0, e = s.size();
  while (b < e && (s[b] == L' ' || s[b] == L'\t'))
    ++b;
  while (e > b && (s[e - 1] == L' ' || s[e - 1] == L'\t'))
    --e;
  return s.substr(b, e - b);
}

std::wstring FromCodePage(UINT codePage, DWORD flags, const char *data, int size, bool &ok) {
  ok = true;
  if (size == 0)
    return {};
  int n = MultiByteToWideChar(codePage, flags, data, size, nullptr, 0);
  if (n <= 0) {
    ok = false;
    return {};
  }
  std::wstring out(n, L'\0');
  MultiByteToWideChar(codePage, flags, data, size, out.data(), n);
  return out;
}

// The text of a message line without its quotes, escapes resolved.
std::wstring Unescape(const std::wstring &line) {
  std::wstring body = line.substr(1);
  if (!body.empty() && body.back() == L'"')
    body.pop_back();
  std::wstring out;
  for (size_t i = 0; i < body.size(); ++i) {
    wchar_t c = body[i];
    if (c == L'\\' && i + 1 < body.size()) {
      wchar_t n = body[i + 1];
      const wchar_t *known = L"nrtb\\\"";
      const wchar_t *value = L"\n\r\t\b\\\"";
      const wchar_t *p = wcschr(known, n);
      if (p && n) {
        out += value[p - known];
        ++i;
        continue;
      }
    } else if (c == L'"' && i + 1 < body.size() && body[i + 1] == L'"') {
      out += L'"';
      ++i;
      continue;
    }
    out += c;
  }
  return out;
}

bool SameText(const std::wstring &a, const std::wstring &b) {
  return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

} // namespace

std::wstring THostLanguageFile::Decode(const std::string &bytes) {
  bool ok = true;
  if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
    return FromCodePage(CP_UTF8, 0, bytes.data() + 3, int(bytes.size() - 3), ok);
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    std::wstring out((bytes.size() - 2) / 2, L'\0');
    memcpy(out.data(), bytes.data() + 2, out.size() * 2);
    return out;
  }
  if (bytes.size() >= 2 && bytes[0] == '\xFE' && bytes[1] == '\xFF') {
    std::wstring out((bytes.size() - 2) / 2, L'\0');
    for (size_t i = 0; i < out.size(); ++i)
      out[i] = wchar_t((unsigned char)bytes[2 + 2 * i] << 8 | (unsigned char)bytes[3 + 2 * i]);
    return out;
  }
  std::wstring text = FromCodePage(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), int(bytes.size()), ok);
  if (ok)
    return text;
  return FromCodePage(CP_OEMCP, 0, bytes.data(), int(bytes.size()), ok);
}

THostLanguageFile THostLanguageFile::Parse(const std::wstring &text) {
  THostLanguageFile file;
  bool inHeader = true;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t end = text.find(L'\n', pos);
    if (end == std::wstring::npos)
      end = text.size();
    std::wstring line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == L'\r')
      line.pop_back();
    line = Trim(line);
    if (line.empty())
      continue;
    if (line[0] == L'"') {
      inHeader = false;
      file.FMessages.push_back(Unescape(line));
      continue;
    }
    const std::wstring key = L".Language=";
    if (inHeader && line.size() >= key.size() && SameText(line.substr(0, key.size()), key) &&
        file.FLanguageName.empty()) {
      std::wstring value = line.substr(key.size());
      size_t comma = value.find(L',');
      file.FLanguageName = Trim(value.substr(0, comma));
      if (comma != std::wstring::npos)
        file.FLanguageDescription = Trim(value.substr(comma + 1));
    }
  }
  return file;
}

std::optional<THostLanguageFile> THostLanguageFile::Load(const std::wstring &path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return std::nullopt;
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(h, buffer, sizeof buffer, &got, nullptr)) && got > 0)
    bytes.append(buffer, got);
  CloseHandle(h);
  if (!ok)
    return std::nullopt;
  THostLanguageFile file = Parse(Decode(bytes));
  file.FPath = path;
  return file;
}

std::optional<THostLanguageFile> HostChooseLanguageFile(const std::wstring &folder,
                                                        const std::wstring &language) {
  std::wstring base = folder;
  if (!base.empty() && base.back() != L'\\' && base.back() != L'/')
    base += L'\\';
  std::vector<THostLanguageFile> files;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((base + L"*.lng").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        continue;
      if (auto file = THostLanguageFile::Load(base + data.cFileName))
        files.push_back(std::move(*file));
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  for (const auto &wanted : {language, std::wstring(L"English")})
    for (const auto &file : files)
      if (SameText(file.LanguageName(), wanted))
        return file;
  if (files.empty())
    return std::nullopt;
  return files.back();
}
