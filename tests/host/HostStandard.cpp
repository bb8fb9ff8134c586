// FAR's standard functions (FarStandardFunctions) as the host plays them. The path helpers behave
// as FAR's do; the members not set here stay recorded-unimplemented.
#include "Host.h"

#include <cwchar>
#include <cwctype>
#include <regex>
#include <string>
#include <vector>

namespace {

void Record(const wchar_t *name) {
  TFarHost::Active().RecordCall(name);
}

bool IsSlash(wchar_t c) {
  return c == L'\\' || c == L'/';
}

// FAR's TruncStr: keeps the end of the text and puts "..." in front, to exactly MaxLength.
wchar_t *DoTruncStr(wchar_t *Str, intptr_t MaxLength) {
  if (!Str)
    return Str;
  if (MaxLength < 0)
    MaxLength = 0;
  intptr_t length = intptr_t(wcslen(Str));
  if (length > MaxLength) {
    if (MaxLength > 3) {
      wchar_t *from = Str + length - MaxLength + 3;
      wmemmove(Str + 3, from, wcslen(from) + 1);
      wmemcpy(Str, L"...", 3);
    }
    Str[MaxLength] = 0;
  }
  return Str;
}

wchar_t *WINAPI HostTruncStr(wchar_t *Str, intptr_t MaxLength) {
  Record(L"TruncStr");
  return DoTruncStr(Str, MaxLength);
}

// FAR's TruncPathStr: keeps the root ("C:\" or "\\server\share\") and the end of the path, with
// "..." between them, to exactly MaxLength; when the root leaves too little room it falls back
// to TruncStr.
wchar_t *WINAPI HostTruncPathStr(wchar_t *Str, intptr_t MaxLength) {
  Record(L"TruncPathStr");
  if (!Str)
    return Str;
  intptr_t length = intptr_t(wcslen(Str));
  if (MaxLength <= 0 || length <= MaxLength || length < 2)
    return Str;
  wchar_t *start = nullptr;
  if (Str[0] && Str[1] == L':' && IsSlash(Str[2]))
    start = Str + 3;
  else if (IsSlash(Str[0]) && IsSlash(Str[1])) {
    wchar_t *server = Str + 2;
    while (*server && !IsSlash(*server))
      ++server;
    if (*server) {
      wchar_t *share = server + 1;
      while (*share && !IsSlash(*share))
        ++share;
      if (*share)
        start = share + 1;
    }
  }
  if (!start || start - Str > MaxLength - 5)
    return DoTruncStr(Str, MaxLength);
  wchar_t *from = start + 3 + (length - MaxLength);
  wmemmove(start + 3, from, wcslen(from) + 1);
  wmemcpy(start, L"...", 3);
  return Str;
}

// The size protocol of FAR's string-returning services: the needed size in characters with the
// terminator is returned; the buffer gets the text, cut to its size, when there is one.
size_t GiveText(const std::wstring &text, wchar_t *Dest, size_t DestSize) {
  if (Dest && DestSize) {
    size_t n = std::min(text.size(), DestSize - 1);
    wmemcpy(Dest, text.data(), n);
    Dest[n] = 0;
  }
  return text.size() + 1;
}

std::wstring FullPath(const std::wstring &path) {
  if (path.empty())
    return path;
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (!n)
    return path;
  std::wstring out(n, L'\0');
  n = GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
  out.resize(n);
  return out;
}

bool HasNativePrefix(const std::wstring &path) {
  return path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\\\.\\", 0) == 0;
}

std::wstring NativePath(const std::wstring &path) {
  if (path.empty() || HasNativePrefix(path))
    return path;
  std::wstring full = FullPath(path);
  if (HasNativePrefix(full))
    return full;
  if (full.size() >= 2 && IsSlash(full[0]) && IsSlash(full[1]))
    return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// The path with links and substitutions resolved, in its ordinary (not native) form; a path that
// does not exist stays the full path.
std::wstring RealPath(const std::wstring &path) {
  std::wstring full = FullPath(path);
  if (full.empty())
    return full;
  HANDLE h = CreateFileW(NativePath(full).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE)
    return full;
  wchar_t buffer[32768];
  DWORD n = GetFinalPathNameByHandleW(h, buffer, 32768, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(h);
  if (!n || n >= 32768)
    return full;
  std::wstring real(buffer, n);
  if (real.rfind(L"\\\\?\\UNC\\", 0) == 0)
    real = L"\\\\" + real.substr(8);
  else if (real.rfind(L"\\\\?\\", 0) == 0)
    real = real.substr(4);
  // Keep the caller's trailing backslash, as FAR does.
  if (!full.empty() && IsSlash(full.back()) && !real.empty() && !IsSlash(real.back()))
    real += L'\\';
  return real;
}

size_t WINAPI HostConvertPath(CONVERTPATHMODES Mode, const wchar_t *Src, wchar_t *Dest, size_t DestSize) {
  Record(L"ConvertPath");
  std::wstring src = Src ? Src : L"";
  std::wstring out;
  switch (Mode) {
  case CPM_FULL:
    out = FullPath(src);
    break;
  case CPM_REAL:
    out = RealPath(src);
    break;
  case CPM_NATIVE:
    out = NativePath(src);
    break;
  default:
    TFarHost::Active().Fail(L"ConvertPath with the unknown mode " + std::to_wstring(int(Mode)));
    return 0;
  }
  return GiveText(out, Dest, DestSize);
}

// A fresh name in the host's temporary folder: the prefix ("F3T" when none is given) and a
// number, for a file or folder that does not exist yet. The size protocol is ConvertPath's.
size_t WINAPI HostMkTemp(wchar_t *Dest, size_t DestSize, const wchar_t *Prefix) {
  Record(L"MkTemp");
  TFarHost &host = TFarHost::Active();
  std::wstring prefix = Prefix && *Prefix ? Prefix : L"F3T";
  static unsigned counter = GetTickCount();
  std::wstring name;
  for (int attempt = 0; attempt < 100000; ++attempt) {
    wchar_t number[16];
    swprintf(number, 16, L"%05X", (++counter) & 0xFFFFF);
    std::wstring candidate = host.TempFolder() + L"\\" + prefix + number + L".tmp";
    if (GetFileAttributesW(candidate.c_str()) == INVALID_FILE_ATTRIBUTES &&
        GetLastError() == ERROR_FILE_NOT_FOUND) {
      name = candidate;
      break;
    }
  }
  if (name.empty())
    host.Fail(L"MkTemp found no free name in " + host.TempFolder());
  return GiveText(name, Dest, DestSize);
}

const wchar_t *WINAPI HostPointToName(const wchar_t *Path) {
  Record(L"PointToName");
  if (!Path)
    return nullptr;
  const wchar_t *name = Path;
  for (const wchar_t *p = Path; *p; ++p)
    if (IsSlash(*p) || (*p == L':' && p == Path + 1))
      name = p + 1;
  return name;
}

BOOL WINAPI HostAddEndSlash(wchar_t *Path) {
  Record(L"AddEndSlash");
  if (!Path)
    return FALSE;
  size_t n = wcslen(Path);
  if (n && IsSlash(Path[n - 1]))
    return TRUE;
  Path[n] = L'\\';
  Path[n + 1] = 0;
  return TRUE;
}

wchar_t *WINAPI HostLTrim(wchar_t *Str) {
  Record(L"LTrim");
  if (!Str)
    return Str;
  wchar_t *p = Str;
  while (*p == L' ' || *p == L'\t')
    ++p;
  wmemmove(Str, p, wcslen(p) + 1);
  return Str;
}

wchar_t *WINAPI HostRTrim(wchar_t *Str) {
  Record(L"RTrim");
  if (!Str)
    return Str;
  size_t n = wcslen(Str);
  while (n && (Str[n - 1] == L' ' || Str[n - 1] == L'\t'))
    Str[--n] = 0;
  return Str;
}

wchar_t *WINAPI HostTrim(wchar_t *Str) {
  Record(L"Trim");
  return HostRTrim(HostLTrim(Str));
}

void WINAPI HostUnquote(wchar_t *Str) {
  Record(L"Unquote");
  if (!Str)
    return;
  wchar_t *out = Str;
  for (wchar_t *p = Str; *p; ++p)
    if (*p != L'"')
      *out++ = *p;
  *out = 0;
}

wchar_t WINAPI HostLUpper(wchar_t c) {
  Record(L"LUpper");
  CharUpperBuffW(&c, 1);
  return c;
}

wchar_t WINAPI HostLLower(wchar_t c) {
  Record(L"LLower");
  CharLowerBuffW(&c, 1);
  return c;
}

void WINAPI HostLUpperBuf(wchar_t *Buf, intptr_t Length) {
  Record(L"LUpperBuf");
  if (Buf && Length > 0)
    CharUpperBuffW(Buf, DWORD(Length));
}

void WINAPI HostLLowerBuf(wchar_t *Buf, intptr_t Length) {
  Record(L"LLowerBuf");
  if (Buf && Length > 0)
    CharLowerBuffW(Buf, DWORD(Length));
}

void WINAPI HostLStrupr(wchar_t *s) {
  Record(L"LStrupr");
  if (s)
    CharUpperBuffW(s, DWORD(wcslen(s)));
}

void WINAPI HostLStrlwr(wchar_t *s) {
  Record(L"LStrlwr");
  if (s)
    CharLowerBuffW(s, DWORD(wcslen(s)));
}

int WINAPI HostLIsLower(wchar_t c) {
  Record(L"LIsLower");
  return IsCharLowerW(c);
}
int WINAPI HostLIsUpper(wchar_t c) {
  Record(L"LIsUpper");
  return IsCharUpperW(c);
}
int WINAPI HostLIsAlpha(wchar_t c) {
  Record(L"LIsAlpha");
  return IsCharAlphaW(c);
}
int WINAPI HostLIsAlphanum(wchar_t c) {
  Record(L"LIsAlphanum");
  return IsCharAlphaNumericW(c);
}

int CompareIgnoringCase(const wchar_t *a, int na, const wchar_t *b, int nb) {
  int r = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, na, b, nb);
  return r ? r - CSTR_EQUAL : 0;
}

int WINAPI HostLStricmp(const wchar_t *s1, const wchar_t *s2) {
  Record(L"LStricmp");
  return CompareIgnoringCase(s1, -1, s2, -1);
}

int WINAPI HostLStrnicmp(const wchar_t *s1, const wchar_t *s2, intptr_t n) {
  Record(L"LStrnicmp");
  int n1 = int(std::min<size_t>(wcslen(s1), size_t(std::max<intptr_t>(n, 0))));
  int n2 = int(std::min<size_t>(wcslen(s2), size_t(std::max<intptr_t>(n, 0))));
  return CompareIgnoringCase(s1, n1, s2, n2);
}

int WINAPI HostAtoi(const wchar_t *s) {
  Record(L"atoi");
  return s ? int(wcstol(s, nullptr, 10)) : 0;
}

long long WINAPI HostAtoi64(const wchar_t *s) {
  Record(L"atoi64");
  return s ? wcstoll(s, nullptr, 10) : 0;
}

wchar_t *ToText(long long value, wchar_t *Str, int radix) {
  if (!Str)
    return Str;
  if (radix < 2 || radix > 36) {
    *Str = 0;
    return Str;
  }
  bool negative = value < 0 && radix == 10;
  unsigned long long v = negative ? 0ULL - (unsigned long long)value : (unsigned long long)value;
  wchar_t digits[80];
  int n = 0;
  do {
    int d = int(v % radix);
    digits[n++] = wchar_t(d < 10 ? L'0' + d : L'a' + d - 10);
    v /= radix;
  } while (v);
  wchar_t *p = Str;
  if (negative)
    *p++ = L'-';
  while (n)
    *p++ = digits[--n];
  *p = 0;
  return Str;
}

wchar_t *WINAPI HostItoa(int value, wchar_t *Str, int radix) {
  Record(L"itoa");
  return ToText(radix == 10 ? value : (long long)(unsigned)value, Str, radix);
}

wchar_t *WINAPI HostItoa64(long long value, wchar_t *Str, int radix) {
  Record(L"itoa64");
  return ToText(value, Str, radix);
}

size_t WINAPI HostGetCurrentDirectory(size_t Size, wchar_t *Buffer) {
  Record(L"GetCurrentDirectory");
  DWORD n = GetCurrentDirectoryW(0, nullptr);
  std::wstring dir(n, L'\0');
  n = GetCurrentDirectoryW(n, dir.data());
  dir.resize(n);
  return GiveText(dir, Buffer, Size);
}

unsigned long long WINAPI HostFarClock() {
  Record(L"FarClock");
  LARGE_INTEGER counter, frequency;
  QueryPerformanceCounter(&counter);
  QueryPerformanceFrequency(&frequency);
  return (unsigned long long)(counter.QuadPart / (double)frequency.QuadPart * 1e6);
}

// ---- ProcessName: FAR's file masks ----
// A list of masks separated by commas or semicolons, a mask in double quotes when it holds one of
// them, and after a '|' masks that exclude. '*' and '?' as usual, '[a-z]' a set of characters;
// letter case does not count. As in FAR, a name without a dot matches a mask ending in ".*". A
// mask "/.../" (options after the closing slash, "i" for letter case) is a regular expression.
// FAR 3 refuses only a regular expression it cannot read: an unclosed quote or bracket, an empty
// part around '|' or a doubled '|' are all taken (seen in the real FAR).

struct THostMaskList {
  std::vector<std::wstring> Include, Exclude;
  bool Valid = true;
};

// The expression of a mask "/body/options"; false for any other mask.
bool RegexMask(const std::wstring &mask, std::wregex &expression, bool &valid) {
  if (mask.size() < 2 || mask[0] != L'/')
    return false;
  const size_t close = mask.rfind(L'/');
  valid = close > 0;
  if (!valid)
    return true;
  auto flags = std::regex_constants::ECMAScript;
  if (mask.find(L'i', close) != std::wstring::npos)
    flags |= std::regex_constants::icase;
  try {
    expression.assign(mask.substr(1, close - 1), flags);
  } catch (const std::regex_error &) {
    valid = false;
  }
  return true;
}

THostMaskList ParseMasks(const wchar_t *text) {
  THostMaskList list;
  std::vector<std::wstring> *part = &list.Include;
  std::wstring mask;
  bool quoted = false;
  auto finish = [&] {
    size_t first = mask.find_first_not_of(L" \t"), last = mask.find_last_not_of(L" \t");
    if (first != std::wstring::npos)
      part->push_back(mask.substr(first, last - first + 1));
    mask.clear();
  };
  for (const wchar_t *c = text; *c; ++c) {
    if (*c == L'"')
      quoted = !quoted;
    else if (!quoted && (*c == L',' || *c == L';'))
      finish();
    else if (!quoted && *c == L'|') {
      finish();
      part = &list.Exclude;
    } else
      mask += *c;
  }
  finish();
  for (const auto *masks : {&list.Include, &list.Exclude})
    for (const auto &m : *masks) {
      std::wregex expression;
      bool valid = true;
      if (RegexMask(m, expression, valid) && !valid)
        list.Valid = false;
    }
  return list;
}

bool MatchMask(const wchar_t *mask, const wchar_t *name) {
  for (;; ++mask, ++name) {
    switch (*mask) {
    case 0:
      return *name == 0;
    case L'*':
      for (const wchar_t *rest = name;; ++rest) {
        if (MatchMask(mask + 1, rest))
          return true;
        if (*rest == 0)
          return false;
      }
    case L'?':
      if (*name == 0)
        return false;
      break;
    case L'[': {
      // Without its ']' a bracket is an ordinary character.
      if (!wcschr(mask, L']')) {
        if (*name != L'[')
          return false;
        break;
      }
      if (*name == 0)
        return false;
      bool found = false;
      const wchar_t *c = mask + 1;
      for (; *c && *c != L']'; ++c) {
        if (c[1] == L'-' && c[2] && c[2] != L']') {
          found = found || (towupper(*name) >= towupper(*c) && towupper(*name) <= towupper(c[2]));
          c += 2;
        } else
          found = found || towupper(*c) == towupper(*name);
      }
      if (!found)
        return false;
      mask = c;
      break;
    }
    default:
      if (towupper(*mask) != towupper(*name))
        return false;
    }
  }
}

bool MatchOne(const std::wstring &mask, const wchar_t *name) {
  std::wregex expression;
  bool valid = true;
  if (RegexMask(mask, expression, valid))
    return valid && std::regex_search(name, expression);
  if (MatchMask(mask.c_str(), name))
    return true;
  if (!wcschr(name, L'.') && mask.size() >= 2 && mask.compare(mask.size() - 2, 2, L".*") == 0)
    return MatchMask(mask.substr(0, mask.size() - 2).c_str(), name);
  return false;
}

size_t WINAPI HostProcessName(const wchar_t *param1, wchar_t *param2, size_t, PROCESSNAME_FLAGS flags) {
  Record(L"ProcessName");
  const PROCESSNAME_FLAGS mode = flags & 0xFF0000;
  if (!param1 || (flags & PN_SHOWERRORMESSAGE)) {
    TFarHost::Active().Unimplemented(L"ProcessName with these arguments");
    return 0;
  }
  const THostMaskList list = ParseMasks(param1);
  if (mode == PN_CHECKMASK)
    return list.Valid ? 1 : 0;
  if (mode != PN_CMPNAMELIST && mode != PN_CMPNAME) {
    TFarHost::Active().Unimplemented(L"ProcessName mode " + std::to_wstring(mode >> 16));
    return 0;
  }
  if (!list.Valid || !param2)
    return 0;
  const wchar_t *name = param2;
  if (flags & PN_SKIPPATH)
    for (const wchar_t *c = param2; *c; ++c)
      if (IsSlash(*c) || *c == L':')
        name = c + 1;
  auto any = [&](const std::vector<std::wstring> &masks) {
    for (const auto &m : masks)
      if (MatchOne(m, name))
        return true;
    return false;
  };
  const bool included = list.Include.empty() || any(list.Include);
  return included && !any(list.Exclude) ? 1 : 0;
}

} // namespace

void InstallHostStandardFunctions(TFarHost &host) {
  FarStandardFunctions &fsf = host.StandardFunctions();
  fsf.TruncStr = HostTruncStr;
  fsf.TruncPathStr = HostTruncPathStr;
  fsf.ConvertPath = HostConvertPath;
  fsf.MkTemp = HostMkTemp;
  fsf.PointToName = HostPointToName;
  fsf.AddEndSlash = HostAddEndSlash;
  fsf.LTrim = HostLTrim;
  fsf.RTrim = HostRTrim;
  fsf.Trim = HostTrim;
  fsf.Unquote = HostUnquote;
  fsf.LUpper = HostLUpper;
  fsf.LLower = HostLLower;
  fsf.LUpperBuf = HostLUpperBuf;
  fsf.LLowerBuf = HostLLowerBuf;
  fsf.LStrupr = HostLStrupr;
  fsf.LStrlwr = HostLStrlwr;
  fsf.LIsLower = HostLIsLower;
  fsf.LIsUpper = HostLIsUpper;
  fsf.LIsAlpha = HostLIsAlpha;
  fsf.LIsAlphanum = HostLIsAlphanum;
  fsf.LStricmp = HostLStricmp;
  fsf.LStrnicmp = HostLStrnicmp;
  fsf.atoi = HostAtoi;
  fsf.atoi64 = HostAtoi64;
  fsf.itoa = HostItoa;
  fsf.itoa64 = HostItoa64;
  fsf.GetCurrentDirectory = HostGetCurrentDirectory;
  fsf.FarClock = HostFarClock;
  fsf.ProcessName = HostProcessName;
}
