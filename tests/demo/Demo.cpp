// The main job: the plug-in, loaded and started in the test host as FAR would start it. It shows
// what FAR learns about the plug-in when it loads it, then a whole synchronisation: two sample
// trees that differ in every way the plug-in knows, the comparison from the plug-ins menu with
// the user's answers in the dialog, the differences document, a few edits in the editor, and
// closing it to synchronise, with what that changed on disk.
#include "Host.h"
#include "HostDialogs.h"
#include "HostEditor.h"
#include "HostPanels.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

void Print(const std::wstring &text) {
  std::string out;
  if (!text.empty()) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    out.resize(n);
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  }
  fputs(out.c_str(), stdout);
  fputc('\n', stdout);
}

std::wstring Version(const VersionInfo &v) {
  static const wchar_t *stages[] = {L"release",           L"alpha",   L"beta",
                                    L"release candidate", L"special", L"private"};
  std::wstring stage = unsigned(v.Stage) < 6 ? stages[v.Stage] : L"stage " + std::to_wstring(int(v.Stage));
  return std::to_wstring(v.Major) + L"." + std::to_wstring(v.Minor) + L"." + std::to_wstring(v.Revision) +
         L"." + std::to_wstring(v.Build) + L" (" + stage + L")";
}

std::wstring Text(const wchar_t *p) {
  return p ? L"\"" + std::wstring(p) + L"\"" : L"(none)";
}

std::wstring Flags(PLUGIN_FLAGS flags) {
  static const std::pair<PLUGIN_FLAGS, const wchar_t *> names[] = {
      {PF_PRELOAD, L"PF_PRELOAD"}, {PF_DISABLEPANELS, L"PF_DISABLEPANELS"}, {PF_EDITOR, L"PF_EDITOR"},
      {PF_VIEWER, L"PF_VIEWER"},   {PF_FULLCMDLINE, L"PF_FULLCMDLINE"},     {PF_DIALOG, L"PF_DIALOG"}};
  std::wstring out;
  for (const auto &[flag, name] : names)
    if (flags & flag)
      out += (out.empty() ? L"" : L" | ") + std::wstring(name);
  return out.empty() ? L"none" : out;
}

void PrintMenu(const wchar_t *name, const PluginMenuItem &menu) {
  Print(std::wstring(L"  ") + name + L": " + std::to_wstring(menu.Count) + L" entr" +
        (menu.Count == 1 ? L"y" : L"ies"));
  for (size_t i = 0; i < menu.Count; ++i)
    Print(L"    " + Text(menu.Strings ? menu.Strings[i] : nullptr) + L"  " +
          (menu.Guids ? HostGuidText(menu.Guids[i]) : L"(no GUID)"));
}

// ---- The synchronisation demo ----

// 1 June 2024, 12:00 UTC, in FILETIME ticks.
constexpr int64_t BaseTime = 133617168000000000LL;
constexpr int64_t Minute = 600000000LL;

bool WriteSample(const std::wstring &path, const std::string &bytes, int64_t timeOffset = 0) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  bool ok = bytes.empty() || WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  const uint64_t ticks = uint64_t(BaseTime + timeOffset);
  FILETIME time{DWORD(ticks & 0xFFFFFFFFu), DWORD(ticks >> 32)};
  ok = SetFileTime(file, nullptr, nullptr, &time) && ok;
  CloseHandle(file);
  return ok;
}

void RemoveTree(const std::wstring &path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
          RemoveTree(path + L"\\" + name);
      } while (FindNextFileW(find, &data));
      FindClose(find);
    }
  }
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    RemoveDirectoryW(path.c_str());
  else
    DeleteFileW(path.c_str());
}

// Every entry below Root by relative path: "dir\" for a directory, else size and write time.
std::map<std::wstring, std::wstring> Snapshot(const std::wstring &root, const std::wstring &relative = {}) {
  std::map<std::wstring, std::wstring> entries;
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((root + L"\\" + relative + L"*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE)
    return entries;
  do {
    std::wstring name = data.cFileName;
    if (name == L"." || name == L"..")
      continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      entries[relative + name + L"\\"] = L"directory";
      if (!(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
        for (auto &entry : Snapshot(root, relative + name + L"\\"))
          entries.insert(entry);
    } else {
      SYSTEMTIME utc;
      FileTimeToSystemTime(&data.ftLastWriteTime, &utc);
      wchar_t text[64];
      swprintf(text, 64, L"%llu bytes, %04u-%02u-%02u %02u:%02u:%02u UTC",
               (unsigned long long)data.nFileSizeLow | ((unsigned long long)data.nFileSizeHigh << 32),
               utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
      std::wstring what = text;
      // The text of these small sample files shows a copy that kept size and time.
      HANDLE file = CreateFileW((root + L"\\" + relative + name).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        char bytes[40];
        DWORD count = 0;
        if (ReadFile(file, bytes, sizeof bytes, &count, nullptr))
          what += L", \"" + std::wstring(bytes, bytes + count) + L"\"";
        CloseHandle(file);
      }
      entries[relative + name] = what;
    }
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return entries;
}

void PrintTree(const std::wstring &title, const std::map<std::wstring, std::wstring> &entries) {
  Print(L"  " + title);
  for (const auto &[path, what] : entries)
    Print(L"    " + path + (what == L"directory" ? L"" : L"  (" + what + L")"));
}

void PrintChanges(const std::wstring &side, const std::map<std::wstring, std::wstring> &before,
                  const std::map<std::wstring, std::wstring> &after) {
  size_t count = 0;
  for (const auto &[path, what] : after) {
    auto old = before.find(path);
    if (old == before.end())
      Print(L"  " + side + L" + " + path), ++count;
    else if (old->second != what)
      Print(L"  " + side + L" ~ " + path + L"  (was " + old->second + L", now " + what + L")"), ++count;
  }
  for (const auto &[path, what] : before)
    if (!after.count(path))
      Print(L"  " + side + L" - " + path), ++count;
  if (!count)
    Print(L"  " + side + L"   (unchanged)");
}

// The dialogs from the index First on, as they looked when the user closed them.
void PrintDialogs(TFarHost &host, size_t first) {
  const auto &runs = host.Part<THostDialogs>().Runs;
  for (size_t i = first; i < runs.size(); ++i) {
    Print(L"  Dialog, closed with item " + std::to_wstring(runs[i].ExitCode) + L":");
    for (const std::wstring &row : runs[i].DrawingAtEnd)
      if (row.find_first_not_of(L' ') != std::wstring::npos)
        Print(L"  " + row);
  }
}

void PrintDocument(THostEditorWindow &window) {
  for (size_t i = 0; i < window.LineCount(); ++i)
    Print((intptr_t(i) == window.CurLine() ? L"  > " : L"    ") + window.Line(i));
}

intptr_t FindLine(THostEditorWindow &window, const std::wstring &text) {
  for (size_t i = 0; i < window.LineCount(); ++i)
    if (window.Line(i) == text)
      return intptr_t(i);
  return -1;
}

void PrintSelection(const wchar_t *side, THostSide panel) {
  std::wstring names;
  for (const std::wstring &name : HostPanels().SelectedNames(panel))
    names += (names.empty() ? L"" : L", ") + name;
  Print(std::wstring(L"  ") + side + L": " + (names.empty() ? L"(nothing)" : names));
}

void SynchronisationDemo(TFarHost &host) {
  wchar_t temp[MAX_PATH + 1];
  GetTempPathW(MAX_PATH + 1, temp);
  const std::wstring root = std::wstring(temp) + L"velmora-demo-" + std::to_wstring(GetCurrentProcessId());
  const std::wstring left = root + L"\\left", right = root + L"\\right";
  RemoveTree(root);
  CreateDirectoryW(root.c_str(), nullptr);
  CreateDirectoryW(left.c_str(), nullptr);
  CreateDirectoryW(right.c_str(), nullptr);
  auto L = [&](const std::wstring &name) { return left + L"\\" + name; };
  auto R = [&](const std::wstring &name) { return right + L"\\" + name; };

  // Two trees that differ in every way the comparison knows.
  WriteSample(L(L"both the same.txt"), "equal on both sides\r\n");
  WriteSample(R(L"both the same.txt"), "equal on both sides\r\n");
  WriteSample(L(L"newer on the left.txt"), "edited on the left", 10 * Minute);
  WriteSample(R(L"newer on the left.txt"), "older on the right");
  WriteSample(L(L"newer on the right.txt"), "old text");
  WriteSample(R(L"newer on the right.txt"), "new text", 10 * Minute);
  WriteSample(L(L"size differs.txt"), "short");
  WriteSample(R(L"size differs.txt"), "a little longer");
  WriteSample(L(L"contents differ.txt"), "same size, same time: AAAA");
  WriteSample(R(L"contents differ.txt"), "same size, same time: BBBB");
  WriteSample(L(L"Readme.txt"), "the same text");
  WriteSample(R(L"README.TXT"), "the same text");
  WriteSample(L(L"locked.txt"), "cannot be read on the right");
  WriteSample(R(L"locked.txt"), "cannot be read on the right");
  WriteSample(L(L"only on the left.txt"), "left only");
  WriteSample(R(L"only on the right.txt"), "right only");
  CreateDirectoryW(L(L"folder only on the left").c_str(), nullptr);
  WriteSample(L(L"folder only on the left\\note.txt"), "inside a one-sided folder");
  CreateDirectoryW(L(L"folder or file").c_str(), nullptr);
  WriteSample(L(L"folder or file\\inside.txt"), "a folder on the left");
  WriteSample(R(L"folder or file"), "a file on the right");
  WriteSample(L(L"file or folder"), "a file on the left");
  CreateDirectoryW(R(L"file or folder").c_str(), nullptr);
  for (const std::wstring &side : {left, right})
    CreateDirectoryW((side + L"\\docs").c_str(), nullptr);
  WriteSample(L(L"docs\\chapter.txt"), "first draft");
  WriteSample(R(L"docs\\chapter.txt"), "final draft", 30 * Minute);
  WriteSample(L(L"docs\\unchanged.txt"), "same");
  WriteSample(R(L"docs\\unchanged.txt"), "same");

  const auto leftBefore = Snapshot(left), rightBefore = Snapshot(right);
  Print(L"");
  Print(L"Sample trees under " + root + L":");
  PrintTree(L"left:", leftBefore);
  PrintTree(L"right:", rightBefore);

  // The user compares the two panels from the plug-ins menu, with subfolders, name case and
  // contents switched on in the dialog. The right locked.txt is held open by another program.
  THostPanels &panels = HostPanels();
  panels.SetFolder(THostSide::Left, left);
  panels.SetFolder(THostSide::Right, right);
  THostDialogUser(host.Script())
      .Check(L"Process subfolders")
      .Check(L"Compare letter case of names")
      .Check(L"Compare contents")
      .Press(L"OK");
  HANDLE lock = CreateFileW(R(L"locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  Print(L"");
  Print(L"Comparing (OpenW from the plug-ins menu) ...");
  host.OpenFromPluginsMenu();
  CloseHandle(lock);
  PrintDialogs(host, 0);

  THostEditor &editors = THostEditor::Of(host);
  THostEditorWindow *document = editors.Current();
  if (!document) {
    Print(L"  No differences document was opened.");
    return;
  }
  Print(L"Selected on the panels:");
  PrintSelection(L"left", THostSide::Left);
  PrintSelection(L"right", THostSide::Right);
  Print(L"");
  Print(L"The differences document (" + document->FileName() + L"), cursor marked with >:");
  PrintDocument(*document);

  // The user reviews the document.
  Print(L"");
  Print(L"Edits in the editor:");
  intptr_t line = FindLine(*document, L"<-->S\tsize differs.txt");
  if (line >= 0) {
    document->MoveCursor(line, 0);
    document->PressKey(VK_F1, LEFT_ALT_PRESSED);
    Print(L"  Alt+F1 on \"size differs.txt\": copy the right file to the left");
  }
  line = FindLine(*document, L"<-->C\tcontents differ.txt");
  if (line >= 0) {
    document->MoveCursor(line, 0);
    document->PressKey(VK_F2, LEFT_ALT_PRESSED);
    Print(L"  Alt+F2 on \"contents differ.txt\": copy the left file to the right");
  }
  line = FindLine(*document, L"<-->F\tReadme.txt");
  if (line >= 0) {
    document->ReplaceLine(size_t(line), L"--->F\tReadme.txt");
    Print(L"  typed \"--->\" over the marker of \"Readme.txt\": the left name wins");
  }
  line = FindLine(*document, L"--!>C\tlocked.txt");
  if (line >= 0) {
    document->DeleteLine(size_t(line));
    Print(L"  deleted the line of \"locked.txt\": leave it alone");
  }
  document->Save();
  Print(L"");
  Print(L"The document after the edits:");
  PrintDocument(*document);

  // Closing the editor synchronises; the user confirms the synchronise dialog without overwrite
  // questions, and skips the two items where a folder would have to replace a file.
  THostDialogUser(host.Script())
      .Clear(L"Confirm overwriting on the left")
      .Clear(L"Confirm overwriting on the right")
      .Press(L"OK")
      .Press(L"Skip")
      .Press(L"Skip");
  // The run ends with its totals; OK closes them (View log would open the run's record).
  host.Script().AnswerMessage(0);
  Print(L"");
  Print(L"Closing the editor (synchronise without overwrite questions; skip where a folder would");
  Print(L"replace a file) ...");
  const size_t dialogsBefore = host.Part<THostDialogs>().Runs.size();
  document->Close();
  PrintDialogs(host, dialogsBefore);

  Print(L"");
  Print(L"What changed on disk:");
  PrintChanges(L"left ", leftBefore, Snapshot(left));
  PrintChanges(L"right", rightBefore, Snapshot(right));
  if (THostEditorWindow *rest = editors.Current(); rest && rest != document && rest->IsOpen()) {
    Print(L"");
    Print(L"Left to do, in a new differences document:");
    PrintDocument(*rest);
  }
  RemoveTree(root);
}

} // namespace

int main() {
  int argc = 0;
  wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  std::wstring dll = argc > 1 && argv ? argv[1] : TFarHost::DefaultPluginPath();
  LocalFree(argv);
  TFarHost host;
  Print(L"Velmora3 in the test host");
  Print(L"Plug-in DLL: " + dll);
  bool started = host.Start(dll);
  if (started) {
    const GlobalInfo &global = host.Global();
    Print(L"");
    Print(L"Global information (GetGlobalInfoW):");
    Print(L"  Title:           " + Text(global.Title));
    Print(L"  Description:     " + Text(global.Description));
    Print(L"  Author:          " + Text(global.Author));
    Print(L"  GUID:            " + HostGuidText(global.Guid));
    Print(L"  Version:         " + Version(global.Version));
    Print(L"  Needs FAR:       " + Version(global.MinFarVersion));
    Print(L"  StructSize:      " + std::to_wstring(global.StructSize));

    PluginInfo info = host.CallGetPluginInfo();
    Print(L"");
    Print(L"Plug-in information (GetPluginInfoW):");
    Print(L"  StructSize:      " + std::to_wstring(info.StructSize));
    Print(L"  Flags:           " + Flags(info.Flags));
    PrintMenu(L"Disks menu", info.DiskMenu);
    PrintMenu(L"Plug-ins menu", info.PluginMenu);
    PrintMenu(L"Configuration menu", info.PluginConfig);
    Print(L"  Command prefix:  " + Text(info.CommandPrefix));

    if (const THostLanguageFile *language = host.Language())
      Print(L"\nLanguage file:     " + language->Path() + L" (" + language->LanguageName() + L", " +
            std::to_wstring(language->Messages().size()) + L" messages)");

    SynchronisationDemo(host);
  }
  if (started)
    host.ExitFAR();
  Print(L"");
  if (host.Failures().empty()) {
    Print(L"The host saw no faults.");
    return started ? 0 : 1;
  }
  Print(L"The host recorded " + std::to_wstring(host.Failures().size()) + L" fault(s):");
  for (const auto &failure : host.Failures())
    Print(L"  " + failure);
  return 1;
}
