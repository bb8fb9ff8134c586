// FAR's editor (and viewer) as the host plays them: Editor, EditorControl (ECTL_* commands,
// dispatched by the core), Viewer and ViewerControl. The viewer shows a file and records what it
// showed; ViewerControl records an unimplemented call.
#include "HostEditor.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwctype>

namespace {

// Editor ids are unique in the whole test program, so an object a test left registered can never
// answer for a window of a later host.
intptr_t NextEditorId() {
  static std::atomic<intptr_t> Counter{100};
  return ++Counter;
}

std::wstring Lower(std::wstring text) {
  for (auto &c : text)
    c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

bool ReadAll(const std::wstring &fileName, std::string &bytes, DWORD &error) {
  HANDLE file =
      CreateFileW(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(file, &size) != 0;
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    ok = bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
                           read == bytes.size());
  }
  error = ok ? 0 : GetLastError();
  CloseHandle(file);
  return ok;
}

bool WriteAll(const std::wstring &fileName, const std::string &bytes) {
  HANDLE file = CreateFileW(fileName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  DWORD written = 0;
  bool ok =
      bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                        written == bytes.size());
  CloseHandle(file);
  return ok;
}

bool DecodeMultiByte(UINT codePage, const char *data, size_t size, std::wstring &text, bool strict) {
  text.clear();
  if (size == 0)
    return true;
  DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
  int n = MultiByteToWideChar(codePage, flags, data, static_cast<int>(size), nullptr, 0);
  if (n <= 0)
    return false;
  text.resize(n);
  MultiByteToWideChar(codePage, flags, data, static_cast<int>(size), text.data(), n);
  return true;
}

std::wstring DecodeUtf16(const char *data, size_t size, bool bigEndian) {
  std::wstring text(size / 2, L'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char a = static_cast<unsigned char>(data[2 * i]),
                  b = static_cast<unsigned char>(data[2 * i + 1]);
    text[i] = bigEndian ? static_cast<wchar_t>((a << 8) | b) : static_cast<wchar_t>((b << 8) | a);
  }
  return text;
}

// The file's text as FAR's editor reads it: a byte-order mark decides, then the code page asked
// for; CP_DEFAULT detects UTF-8 and otherwise takes the ANSI page.
void Decode(const std::string &bytes, uintptr_t requested, std::wstring &text, uintptr_t &codePage,
            bool &bom) {
  bom = false;
  const char *data = bytes.data();
  size_t size = bytes.size();
  if (size >= 3 && static_cast<unsigned char>(data[0]) == 0xEF &&
      static_cast<unsigned char>(data[1]) == 0xBB && static_cast<unsigned char>(data[2]) == 0xBF) {
    bom = true;
    codePage = CP_UTF8;
    DecodeMultiByte(CP_UTF8, data + 3, size - 3, text, false);
    return;
  }
  if (size >= 2 && static_cast<unsigned char>(data[0]) == 0xFF &&
      static_cast<unsigned char>(data[1]) == 0xFE) {
    bom = true;
    codePage = 1200;
    text = DecodeUtf16(data + 2, size - 2, false);
    return;
  }
  if (size >= 2 && static_cast<unsigned char>(data[0]) == 0xFE &&
      static_cast<unsigned char>(data[1]) == 0xFF) {
    bom = true;
    codePage = 1201;
    text = DecodeUtf16(data + 2, size - 2, true);
    return;
  }
  if (requested == 1200 || requested == 1201) {
    codePage = requested;
    text = DecodeUtf16(data, size, requested == 1201);
    return;
  }
  if (requested == CP_DEFAULT || requested == CP_REDETECT) {
    if (DecodeMultiByte(CP_UTF8, data, size, text, true)) {
      codePage = CP_UTF8;
      return;
    }
    requested = GetACP();
  }
  codePage = requested;
  if (!DecodeMultiByte(static_cast<UINT>(requested), data, size, text, false))
    text.clear();
}

std::string Encode(const std::wstring &text, uintptr_t codePage, bool bom) {
  std::string bytes;
  if (codePage == 1200 || codePage == 1201) {
    if (bom)
      bytes += codePage == 1200 ? std::string("\xFF\xFE", 2) : std::string("\xFE\xFF", 2);
    for (wchar_t c : text) {
      char low = static_cast<char>(c & 0xFF), high = static_cast<char>((c >> 8) & 0xFF);
      bytes += codePage == 1200 ? low : high;
      bytes += codePage == 1200 ? high : low;
    }
    return bytes;
  }
  if (bom && codePage == CP_UTF8)
    bytes = "\xEF\xBB\xBF";
  if (!text.empty()) {
    int n = WideCharToMultiByte(static_cast<UINT>(codePage), 0, text.data(), static_cast<int>(text.size()),
                                nullptr, 0, nullptr, nullptr);
    if (n > 0) {
      size_t start = bytes.size();
      bytes.resize(start + n);
      WideCharToMultiByte(static_cast<UINT>(codePage), 0, text.data(), static_cast<int>(text.size()),
                          bytes.data() + start, n, nullptr, nullptr);
    }
  }
  return bytes;
}

// FAR's lines: every line ends at CR LF, LF or CR; what follows the last end of line is one more
// line (empty for a text that ends with an end of line), so a text always has at least one line.
void SplitLines(const std::wstring &text, std::vector<std::wstring> &lines, std::vector<std::wstring> &eols) {
  lines.clear();
  eols.clear();
  std::wstring line;
  for (size_t i = 0; i < text.size(); ++i) {
    wchar_t c = text[i];
    if (c == L'\r' || c == L'\n') {
      std::wstring eol(1, c);
      if (c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
        eol = L"\r\n";
        ++i;
      }
      lines.push_back(line);
      eols.push_back(eol);
      line.clear();
    } else {
      line += c;
    }
  }
  lines.push_back(line);
  eols.push_back(L"");
}

// Left and right Ctrl or Alt pick the same row of the key bar.
int ModifierRow(DWORD state) {
  return ((state & SHIFT_PRESSED) ? 1 : 0) | ((state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) ? 2 : 0) |
         ((state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) ? 4 : 0);
}

const wchar_t *CommandName(intptr_t command) {
  switch (command) {
  case ECTL_GETSTRING:
    return L"ECTL_GETSTRING";
  case ECTL_SETSTRING:
    return L"ECTL_SETSTRING";
  case ECTL_GETINFO:
    return L"ECTL_GETINFO";
  case ECTL_SETPOSITION:
    return L"ECTL_SETPOSITION";
  case ECTL_REDRAW:
    return L"ECTL_REDRAW";
  case ECTL_SETTITLE:
    return L"ECTL_SETTITLE";
  case ECTL_SETKEYBAR:
    return L"ECTL_SETKEYBAR";
  case ECTL_GETFILENAME:
    return L"ECTL_GETFILENAME";
  case ECTL_ADDCOLOR:
    return L"ECTL_ADDCOLOR";
  case ECTL_DELCOLOR:
    return L"ECTL_DELCOLOR";
  default:
    return L"ECTL_?";
  }
}

} // namespace

// ---- THostEditorWindow ----

THostEditorWindow::THostEditorWindow(TFarHost &host, THostEditor &editor, intptr_t id)
    : FHost(host), FEditor(editor), FId(id) {}

std::wstring THostEditorWindow::Text() const {
  std::wstring text;
  for (size_t i = 0; i < FLines.size(); ++i)
    text += FLines[i] + FEols[i];
  return text;
}

const THostKeyBarLabel *THostEditorWindow::FindKeyBarLabel(WORD virtualKeyCode, DWORD controlKeyState) const {
  for (const auto &label : FKeyBar)
    if (label.VirtualKeyCode == virtualKeyCode &&
        ModifierRow(label.ControlKeyState) == ModifierRow(controlKeyState))
      return &label;
  return nullptr;
}

bool THostEditorWindow::Load(const std::wstring &fileName, EDITOR_FLAGS flags, uintptr_t codePage,
                             std::wstring &why) {
  FFileName = fileName;
  FFlags = flags;
  std::string bytes;
  DWORD error = 0;
  if (!ReadAll(fileName, bytes, error)) {
    if (!((flags & EF_CREATENEW) && (error == ERROR_FILE_NOT_FOUND))) {
      why = L"cannot read " + fileName + L" (error " + std::to_wstring(error) + L")";
      return false;
    }
    bytes.clear();
  }
  std::wstring text;
  uintptr_t used = CP_UTF8;
  Decode(bytes, codePage, text, used, FBom);
  FCodePage = used;
  SplitLines(text, FLines, FEols);
  FColors.assign(FLines.size(), {});
  return true;
}

void THostEditorWindow::Place(const std::wstring &title, intptr_t x1, intptr_t y1, intptr_t x2, intptr_t y2) {
  FGivenTitle = title;
  FTitle = title;
  FX1 = x1 < 0 ? 0 : x1;
  FY1 = y1 < 0 ? 0 : y1;
  FX2 = x2 < 0 ? FEditor.ScreenWidth - 1 : x2;
  FY2 = y2 < 0 ? FEditor.ScreenHeight - 1 : y2;
  FWindowWidth = std::max<intptr_t>(1, FX2 - FX1 + 1);
  // The title bar and the key bar take a row each.
  FWindowHeight = std::max<intptr_t>(1, FY2 - FY1 + 1 - 2);
}

void THostEditorWindow::SetStart(intptr_t line, intptr_t pos) {
  FCurLine = line;
  FCurPos = pos < 0 ? 0 : pos;
  ClampCursor();
  // A start below the first screen is shown in the middle of the window.
  if (FCurLine >= FWindowHeight)
    FTopScreenLine = std::max<intptr_t>(0, FCurLine - FWindowHeight / 2);
}

void THostEditorWindow::ClampCursor() {
  FCurLine = std::clamp<intptr_t>(FCurLine, 0, static_cast<intptr_t>(FLines.size()) - 1);
  if (FCurPos < 0)
    FCurPos = 0;
  FTopScreenLine = std::clamp<intptr_t>(FTopScreenLine, 0, static_cast<intptr_t>(FLines.size()) - 1);
}

void THostEditorWindow::KeepCursorVisible() {
  if (FCurLine < FTopScreenLine)
    FTopScreenLine = FCurLine;
  else if (FCurLine >= FTopScreenLine + FWindowHeight)
    FTopScreenLine = FCurLine - FWindowHeight + 1;
}

void THostEditorWindow::Activate() {
  if (!FOpen) {
    FHost.Fail(L"the user switched to editor " + std::to_wstring(FId) + L", which is closed");
    return;
  }
  FEditor.BringToFront(*this);
}

void THostEditorWindow::MoveCursor(intptr_t line, intptr_t pos) {
  FCurLine = line;
  FCurPos = pos;
  ClampCursor();
  KeepCursorVisible();
  Draw();
}

void THostEditorWindow::ScrollTo(intptr_t topScreenLine, intptr_t leftPos) {
  FTopScreenLine = topScreenLine;
  FLeftPos = leftPos < 0 ? 0 : leftPos;
  ClampCursor();
  Draw();
}

void THostEditorWindow::SelectStream(intptr_t startLine, intptr_t startPos, intptr_t endLine,
                                     intptr_t endPos) {
  FBlockType = BTYPE_STREAM;
  FBlockStartLine = startLine;
  FBlockStartPos = startPos;
  FBlockEndLine = endLine;
  FBlockEndPos = endPos;
}

void THostEditorWindow::SelectLines(intptr_t first, intptr_t last) {
  SelectStream(first, 0, last + 1, 0);
}

void THostEditorWindow::SelectColumn(intptr_t first, intptr_t last, intptr_t startPos, intptr_t endPos) {
  FBlockType = BTYPE_COLUMN;
  FBlockStartLine = first;
  FBlockEndLine = last;
  FBlockStartPos = startPos;
  FBlockEndPos = endPos;
}

void THostEditorWindow::Unselect() {
  FBlockType = BTYPE_NONE;
}

void THostEditorWindow::LineSelection(intptr_t line, intptr_t &selStart, intptr_t &selEnd) const {
  selStart = -1;
  selEnd = 0;
  if (FBlockType == BTYPE_NONE || line < FBlockStartLine || line > FBlockEndLine)
    return;
  intptr_t start, end;
  if (FBlockType == BTYPE_STREAM) {
    // A block that ends at the start of a line does not reach into it.
    if (line == FBlockEndLine && FBlockEndPos == 0 && FBlockEndLine > FBlockStartLine)
      return;
    start = line == FBlockStartLine ? FBlockStartPos : 0;
    end = line == FBlockEndLine ? FBlockEndPos : -1;
  } else {
    start = FBlockStartPos;
    end = FBlockEndPos;
  }
  // As FAR reports it: an end beyond the text is "to the end of the line", a start beyond it is
  // the end of the text.
  intptr_t length = static_cast<intptr_t>(FLines[line].size());
  if (end > length)
    end = -1;
  if (start > length)
    start = length;
  selStart = start;
  selEnd = end;
}

bool THostEditorWindow::CheckEditable(const wchar_t *what) {
  if (!FOpen) {
    FHost.Fail(std::wstring(L"the user tried to ") + what + L" in editor " + std::to_wstring(FId) +
               L", which is closed");
    return false;
  }
  if (IsLocked()) {
    FHost.Fail(std::wstring(L"the user tried to ") + what + L" in the locked editor " + std::to_wstring(FId));
    return false;
  }
  return true;
}

void THostEditorWindow::ReplaceLine(size_t index, const std::wstring &text) {
  if (!CheckEditable(L"replace a line"))
    return;
  if (index >= FLines.size()) {
    FHost.Fail(L"the user tried to replace line " + std::to_wstring(index) + L" of " +
               std::to_wstring(FLines.size()));
    return;
  }
  FLines[index] = text;
  FModified = true;
  Draw();
}

void THostEditorWindow::InsertLine(size_t index, const std::wstring &text) {
  if (!CheckEditable(L"insert a line"))
    return;
  if (index > FLines.size()) {
    FHost.Fail(L"the user tried to insert line " + std::to_wstring(index) + L" of " +
               std::to_wstring(FLines.size()));
    return;
  }
  // The new line takes the file's usual end of line; inserted after the last line, the line
  // before it gets one.
  std::wstring eol = L"\r\n";
  for (const auto &e : FEols)
    if (!e.empty()) {
      eol = e;
      break;
    }
  if (index == FLines.size()) {
    FEols.back() = eol;
    FLines.push_back(text);
    FEols.push_back(L"");
    FColors.emplace_back();
  } else {
    FLines.insert(FLines.begin() + index, text);
    FEols.insert(FEols.begin() + index, eol);
    FColors.emplace(FColors.begin() + index);
  }
  if (static_cast<intptr_t>(index) <= FCurLine)
    ++FCurLine;
  FModified = true;
  ClampCursor();
  Draw();
}

void THostEditorWindow::DeleteLine(size_t index) {
  if (!CheckEditable(L"delete a line"))
    return;
  if (index >= FLines.size()) {
    FHost.Fail(L"the user tried to delete line " + std::to_wstring(index) + L" of " +
               std::to_wstring(FLines.size()));
    return;
  }
  if (FLines.size() == 1) {
    FLines[0].clear();
    FEols[0].clear();
    FColors[0].clear();
  } else {
    bool last = index + 1 == FLines.size();
    FLines.erase(FLines.begin() + index);
    FEols.erase(FEols.begin() + index);
    FColors.erase(FColors.begin() + index);
    if (last)
      FEols.back().clear();
  }
  if (static_cast<intptr_t>(index) < FCurLine)
    --FCurLine;
  FModified = true;
  ClampCursor();
  Draw();
}

void THostEditorWindow::InsertCharacter(wchar_t character) {
  if (!CheckEditable(L"type"))
    return;
  std::wstring &line = FLines[FCurLine];
  if (static_cast<intptr_t>(line.size()) < FCurPos)
    line.append(FCurPos - line.size(), L' ');
  if (FOvertype && FCurPos < static_cast<intptr_t>(line.size()))
    line[FCurPos] = character;
  else
    line.insert(line.begin() + FCurPos, character);
  ++FCurPos;
  FModified = true;
}

void THostEditorWindow::SplitLine() {
  if (!CheckEditable(L"split a line"))
    return;
  std::wstring &line = FLines[FCurLine];
  size_t at = std::min<size_t>(FCurPos, line.size());
  std::wstring rest = line.substr(at);
  line.erase(at);
  std::wstring eol = FEols[FCurLine].empty() ? L"\r\n" : FEols[FCurLine];
  // The second half keeps the line's own end of line.
  std::wstring restEol = FEols[FCurLine];
  FLines.insert(FLines.begin() + FCurLine + 1, rest);
  FEols.insert(FEols.begin() + FCurLine + 1, restEol);
  FColors.emplace(FColors.begin() + FCurLine + 1);
  FEols[FCurLine] = eol;
  ++FCurLine;
  FCurPos = 0;
  FModified = true;
  KeepCursorVisible();
}

void THostEditorWindow::Backspace() {
  if (!CheckEditable(L"delete a character"))
    return;
  std::wstring &line = FLines[FCurLine];
  if (FCurPos > 0) {
    if (FCurPos <= static_cast<intptr_t>(line.size()))
      line.erase(FCurPos - 1, 1);
    --FCurPos;
  } else if (FCurLine > 0) {
    FCurPos = static_cast<intptr_t>(FLines[FCurLine - 1].size());
    FLines[FCurLine - 1] += line;
    FEols[FCurLine - 1] = FEols[FCurLine];
    FLines.erase(FLines.begin() + FCurLine);
    FEols.erase(FEols.begin() + FCurLine);
    FColors.erase(FColors.begin() + FCurLine);
    --FCurLine;
  } else {
    return;
  }
  FModified = true;
  KeepCursorVisible();
}

void THostEditorWindow::DeleteCharacter() {
  if (!CheckEditable(L"delete a character"))
    return;
  std::wstring &line = FLines[FCurLine];
  if (FCurPos < static_cast<intptr_t>(line.size())) {
    line.erase(FCurPos, 1);
  } else if (FCurLine + 1 < static_cast<intptr_t>(FLines.size())) {
    line.append(FCurPos - line.size(), L' ');
    line += FLines[FCurLine + 1];
    FEols[FCurLine] = FEols[FCurLine + 1];
    FLines.erase(FLines.begin() + FCurLine + 1);
    FEols.erase(FEols.begin() + FCurLine + 1);
    FColors.erase(FColors.begin() + FCurLine + 1);
  } else {
    return;
  }
  FModified = true;
}

void THostEditorWindow::TypeText(const std::wstring &text) {
  for (wchar_t c : text) {
    if (!FOpen)
      return;
    if (c == L'\n') {
      PressKey(VK_RETURN, 0, L'\r');
      continue;
    }
    SHORT scan = VkKeyScanW(c);
    WORD vk = scan == -1 ? 0 : LOBYTE(scan);
    DWORD state = (scan != -1 && (HIBYTE(scan) & 1)) ? SHIFT_PRESSED : 0;
    PressKey(vk, state, c);
  }
}

bool THostEditorWindow::SendInput(const INPUT_RECORD &record) {
  if (!FOpen) {
    FHost.Fail(L"input sent to editor " + std::to_wstring(FId) + L", which is closed");
    return false;
  }
  // FAR sends input to the window that has the focus.
  Activate();
  bool handled = FHost.Exports().ProcessEditorInputW && FHost.ProcessEditorInput(record) != 0;
  if (!handled && record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown && FOpen)
    DefaultKey(record.Event.KeyEvent.wVirtualKeyCode, record.Event.KeyEvent.dwControlKeyState,
               record.Event.KeyEvent.uChar.UnicodeChar);
  // FAR draws the window after every key it was given, handled by the plug-in or not.
  if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown)
    Draw();
  return handled;
}

bool THostEditorWindow::PressKey(WORD virtualKeyCode, DWORD controlKeyState, wchar_t character) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = TRUE;
  record.Event.KeyEvent.wRepeatCount = 1;
  record.Event.KeyEvent.wVirtualKeyCode = virtualKeyCode;
  record.Event.KeyEvent.wVirtualScanCode =
      static_cast<WORD>(MapVirtualKeyW(virtualKeyCode, 0 /* VK to scan */));
  record.Event.KeyEvent.uChar.UnicodeChar = character;
  record.Event.KeyEvent.dwControlKeyState = controlKeyState;
  bool handled = SendInput(record);
  // The release goes to whichever editor has the focus by then; it is never processed further.
  if (FOpen && FHost.Exports().ProcessEditorInputW) {
    record.Event.KeyEvent.bKeyDown = FALSE;
    FHost.ProcessEditorInput(record);
  }
  return handled;
}

void THostEditorWindow::DefaultKey(WORD vk, DWORD state, wchar_t character) {
  const bool ctrl = (state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0;
  const bool alt = (state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
  const intptr_t last = static_cast<intptr_t>(FLines.size()) - 1;
  auto move = [&](intptr_t line, intptr_t pos) {
    // Without persistent blocks a cursor key drops the selection.
    Unselect();
    FCurLine = std::clamp<intptr_t>(line, 0, last);
    FCurPos = std::max<intptr_t>(0, pos);
    KeepCursorVisible();
  };
  switch (vk) {
  case VK_UP:
    move(FCurLine - 1, FCurPos);
    return;
  case VK_DOWN:
    move(FCurLine + 1, FCurPos);
    return;
  case VK_LEFT:
    move(FCurLine, FCurPos - 1);
    return;
  case VK_RIGHT:
    move(FCurLine, FCurPos + 1);
    return;
  case VK_HOME:
    move(ctrl ? 0 : FCurLine, 0);
    return;
  case VK_END:
    if (ctrl)
      move(last, static_cast<intptr_t>(FLines[last].size()));
    else
      move(FCurLine, static_cast<intptr_t>(FLines[FCurLine].size()));
    return;
  case VK_PRIOR:
    move(FCurLine - FWindowHeight, FCurPos);
    return;
  case VK_NEXT:
    move(FCurLine + FWindowHeight, FCurPos);
    return;
  case VK_RETURN:
    if (!ctrl && !alt)
      SplitLine();
    return;
  case VK_BACK:
    if (!ctrl && !alt)
      Backspace();
    return;
  case VK_DELETE:
    if (!ctrl && !alt)
      DeleteCharacter();
    return;
  case VK_INSERT:
    if (!ctrl && !alt && !(state & SHIFT_PRESSED))
      FOvertype = !FOvertype;
    return;
  case VK_F2:
    if (!ctrl && !alt)
      Save();
    return;
  case VK_ESCAPE:
  case VK_F10:
    if (!ctrl && !alt)
      Close();
    return;
  default:
    if (character >= L' ' && !ctrl && !alt)
      InsertCharacter(character);
    return;
  }
}

bool THostEditorWindow::Save() {
  if (!FOpen) {
    FHost.Fail(L"the user tried to save editor " + std::to_wstring(FId) + L", which is closed");
    return false;
  }
  if (FHost.Exports().ProcessEditorEventW) {
    EditorSaveFile save{};
    save.StructSize = sizeof(save);
    save.FileName = FFileName.c_str();
    save.FileEOL = nullptr;
    save.CodePage = FCodePage;
    FHost.ProcessEditorEvent(EE_SAVE, &save, FId);
  }
  if (!WriteAll(FFileName, Encode(Text(), FCodePage, FBom)))
    return false;
  FModified = false;
  FSavedOnce = true;
  return true;
}

intptr_t THostEditorWindow::Close() {
  if (!FOpen || FClosing)
    return 0;
  FClosing = true;
  intptr_t result = 0;
  if (FHost.Exports().ProcessEditorEventW)
    result = FHost.ProcessEditorEvent(EE_CLOSE, nullptr, FId);
  FClosing = false;
  FOpen = false;
  FCloseResult = result;
  if (!(FFlags & EF_DISABLESAVEPOS))
    FEditor.SavedPositions[THostEditor::PositionKey(FFileName)] = {FCurLine, FCurPos, FTopScreenLine,
                                                                   FLeftPos};
  FEditor.Remove(*this);
  // FAR deletes only once the window is gone, by the name it opened.
  if (FFlags & EF_DELETEONCLOSE) {
    DeleteFileW(FFileName.c_str());
    size_t slash = FFileName.find_last_of(L"\\/");
    if (slash != std::wstring::npos)
      RemoveDirectoryW(FFileName.substr(0, slash).c_str());
  } else if (FFlags & EF_DELETEONLYFILEONCLOSE) {
    DeleteFileW(FFileName.c_str());
  }
  return result;
}

intptr_t THostEditorWindow::Control(intptr_t command, intptr_t param1, void *param2) {
  if (FClosing && command != ECTL_GETINFO && command != ECTL_GETBOOKMARKS) {
    FHost.Fail(std::wstring(L"EditorControl(") + CommandName(command) + L") on editor " +
               std::to_wstring(FId) +
               L" inside its EE_CLOSE, where FAR allows only ECTL_GETINFO and ECTL_GETBOOKMARKS");
    return 0;
  }
  switch (command) {
  case ECTL_GETINFO:
    return GetInfo(static_cast<EditorInfo *>(param2));
  case ECTL_GETSTRING:
    return GetString(static_cast<EditorGetString *>(param2));
  case ECTL_SETSTRING:
    return SetString(static_cast<const EditorSetString *>(param2));
  case ECTL_SETPOSITION:
    return SetPosition(static_cast<const EditorSetPosition *>(param2));
  case ECTL_REDRAW:
    ++FRedrawCount;
    Draw();
    return 1;
  case ECTL_ADDCOLOR:
    return AddColor(static_cast<const EditorColor *>(param2));
  case ECTL_DELCOLOR:
    return DeleteColor(static_cast<const EditorDeleteColor *>(param2));
  case ECTL_SETKEYBAR:
    return SetKeyBar(param2);
  case ECTL_GETFILENAME:
    return GetFileName(param1, static_cast<wchar_t *>(param2));
  case ECTL_SETTITLE:
    return SetTitle(static_cast<const wchar_t *>(param2));
  default:
    FHost.Unimplemented(L"EditorControl(" + std::to_wstring(command) + L")");
    return 0;
  }
}

intptr_t THostEditorWindow::GetInfo(EditorInfo *info) {
  if (!info || info->StructSize < sizeof(EditorInfo152) || info->StructSize > 65536)
    return 0;
  EditorInfo full{};
  full.StructSize = info->StructSize;
  full.EditorID = FId;
  full.WindowSizeX = FWindowWidth;
  full.WindowSizeY = FWindowHeight;
  full.TotalLines = static_cast<intptr_t>(FLines.size());
  full.CurLine = FCurLine;
  full.CurPos = FCurPos;
  // The screen column of the cursor: tabs expanded to the tab size.
  const intptr_t tabSize = 8;
  intptr_t column = 0;
  const std::wstring &line = FLines[FCurLine];
  for (intptr_t i = 0; i < FCurPos; ++i)
    column = (i < static_cast<intptr_t>(line.size()) && line[i] == L'\t') ? (column / tabSize + 1) * tabSize
                                                                          : column + 1;
  full.CurTabPos = column;
  full.TopScreenLine = FTopScreenLine;
  full.LeftPos = FLeftPos;
  full.Overtype = FOvertype ? 1 : 0;
  full.BlockType = FBlockType;
  full.BlockStartLine = FBlockType == BTYPE_NONE ? 0 : FBlockStartLine;
  full.Options = EOPT_SHOWTITLEBAR | EOPT_SHOWKEYBAR | (FBom ? EOPT_BOM : 0);
  full.TabSize = tabSize;
  full.CurState = (FModified ? ECSTATE_MODIFIED : 0) | (FSavedOnce ? ECSTATE_SAVED : 0) |
                  (IsLocked() ? ECSTATE_LOCKED : 0);
  full.CodePage = FCodePage;
  full.WindowArea =
      RECT{static_cast<LONG>(FX1), static_cast<LONG>(FY1), static_cast<LONG>(FX2), static_cast<LONG>(FY2)};
  full.ClientArea = RECT{static_cast<LONG>(FX1), static_cast<LONG>(FY1 + 1), static_cast<LONG>(FX2),
                         static_cast<LONG>(FY2 - 1)};
  // Only as much as the caller's StructSize covers.
  std::memcpy(info, &full, std::min<size_t>(info->StructSize, sizeof(EditorInfo)));
  return 1;
}

intptr_t THostEditorWindow::GetString(EditorGetString *string) {
  if (!string || string->StructSize < sizeof(EditorGetString))
    return 0;
  intptr_t number = string->StringNumber == -1 ? FCurLine : string->StringNumber;
  if (number < 0 || number >= static_cast<intptr_t>(FLines.size()))
    return 0;
  FStringBuffer = FLines[number] + L"\xFFFD\xFFFD";
  string->StringText = FStringBuffer.data();
  string->StringLength = static_cast<intptr_t>(FLines[number].size());
  string->StringEOL = FEols[number].c_str();
  LineSelection(number, string->SelStart, string->SelEnd);
  return 1;
}

intptr_t THostEditorWindow::SetString(const EditorSetString *string) {
  if (!string || string->StructSize < sizeof(EditorSetString))
    return 0;
  if (IsLocked())
    return 0;
  intptr_t number = string->StringNumber == -1 ? FCurLine : string->StringNumber;
  if (number < 0 || number >= static_cast<intptr_t>(FLines.size()) || string->StringLength < 0)
    return 0;
  if (string->StringLength > 0 && !string->StringText)
    return 0;
  FLines[number].assign(string->StringText ? string->StringText : L"", string->StringLength);
  if (string->StringEOL)
    FEols[number] = string->StringEOL;
  FModified = true;
  return 1;
}

intptr_t THostEditorWindow::SetPosition(const EditorSetPosition *position) {
  if (!position || position->StructSize < sizeof(EditorSetPosition))
    return 0;
  if (position->CurLine >= 0)
    FCurLine = position->CurLine;
  if (position->CurPos >= 0)
    FCurPos = position->CurPos;
  else if (position->CurTabPos >= 0)
    FCurPos = position->CurTabPos;
  if (position->TopScreenLine >= 0)
    FTopScreenLine = position->TopScreenLine;
  if (position->LeftPos >= 0)
    FLeftPos = position->LeftPos;
  if (position->Overtype >= 0)
    FOvertype = position->Overtype != 0;
  ClampCursor();
  KeepCursorVisible();
  return 1;
}

intptr_t THostEditorWindow::SetKeyBar(void *param) {
  if (!param) {
    FKeyBar.clear();
    return 1;
  }
  if (param == reinterpret_cast<void *>(-1))
    return 1;
  // During EE_READ the key bar does not exist yet.
  if (!FKeyBarReady)
    return 0;
  auto *set = static_cast<const FarSetKeyBarTitles *>(param);
  if (set->StructSize < sizeof(FarSetKeyBarTitles) || !set->Titles)
    return 0;
  for (size_t i = 0; i < set->Titles->CountLabels; ++i) {
    const KeyBarLabel &label = set->Titles->Labels[i];
    if (label.Key.VirtualKeyCode < VK_F1 || label.Key.VirtualKeyCode > VK_F12)
      continue;
    THostKeyBarLabel copy;
    copy.VirtualKeyCode = label.Key.VirtualKeyCode;
    copy.ControlKeyState = label.Key.ControlKeyState;
    copy.Text = label.Text ? label.Text : L"";
    copy.LongText = label.LongText ? label.LongText : L"";
    auto same = std::find_if(FKeyBar.begin(), FKeyBar.end(), [&](const THostKeyBarLabel &l) {
      return l.VirtualKeyCode == copy.VirtualKeyCode &&
             ModifierRow(l.ControlKeyState) == ModifierRow(copy.ControlKeyState);
    });
    if (same != FKeyBar.end())
      FKeyBar.erase(same);
    FKeyBar.push_back(copy);
  }
  ++FKeyBarSetCount;
  return 1;
}

void THostEditorWindow::Draw() {
  // FAR draws only an open window, and never starts a second drawing inside EE_REDRAW.
  if (!FOpen || FClosing || FDrawing)
    return;
  FDrawing = true;
  if (FHost.Exports().ProcessEditorEventW)
    FHost.ProcessEditorEvent(EE_REDRAW, EEREDRAW_ALL, FId);
  FDrawing = false;
  ++FDrawCount;
}

intptr_t THostEditorWindow::LineNumber(intptr_t stringNumber) const {
  intptr_t number = stringNumber == -1 ? FCurLine : stringNumber;
  return number < 0 || number >= static_cast<intptr_t>(FLines.size()) ? -1 : number;
}

intptr_t THostEditorWindow::AddColor(const EditorColor *color) {
  if (!color || color->StructSize < sizeof(EditorColor) || color->StructSize > 65536)
    return 0;
  const intptr_t number = LineNumber(color->StringNumber);
  if (number < 0)
    return 0;
  THostEditorColor item;
  item.StartPos = color->StartPos;
  item.EndPos = color->EndPos;
  item.Priority = color->Priority;
  item.Flags = color->Flags;
  item.Color = color->Color;
  item.Owner = color->Owner;
  FColors[number].push_back(item);
  return 1;
}

intptr_t THostEditorWindow::DeleteColor(const EditorDeleteColor *color) {
  if (!color || color->StructSize < sizeof(EditorDeleteColor) || color->StructSize > 65536)
    return 0;
  const intptr_t number = LineNumber(color->StringNumber);
  if (number < 0)
    return 0;
  // The owner's colours of the line; StartPos -1: all of them, else those starting there.
  auto &colors = FColors[number];
  colors.erase(std::remove_if(colors.begin(), colors.end(),
                              [&](const THostEditorColor &item) {
                                return std::memcmp(&item.Owner, &color->Owner, sizeof(GUID)) == 0 &&
                                       (color->StartPos == -1 || color->StartPos == item.StartPos);
                              }),
               colors.end());
  return 1;
}

intptr_t THostEditorWindow::GetFileName(intptr_t size, wchar_t *buffer) {
  intptr_t needed = static_cast<intptr_t>(FFileName.size()) + 1;
  if (buffer && size > 0) {
    size_t count = std::min<size_t>(size - 1, FFileName.size());
    std::copy(FFileName.begin(), FFileName.begin() + count, buffer);
    buffer[count] = L'\0';
  }
  return needed;
}

intptr_t THostEditorWindow::SetTitle(const wchar_t *title) {
  FTitle = title && *title ? title : FGivenTitle;
  return 1;
}

std::wstring TEditInEditor::Describe() const {
  return Expect.empty() ? L"work in an editor" : L"work in an editor on " + Expect;
}

// ---- THostEditor ----

THostEditorWindow *THostEditor::Current() {
  if (FPanelsFocused || FOrder.empty())
    return nullptr;
  return Find(FOrder.back());
}

THostEditorWindow *THostEditor::Find(intptr_t id) {
  for (auto &window : FWindows)
    if (window->Id() == id)
      return window.get();
  return nullptr;
}

THostEditorWindow *THostEditor::FindOpen(const std::wstring &fileName) {
  std::wstring key = PositionKey(fileName);
  for (auto it = FOrder.rbegin(); it != FOrder.rend(); ++it) {
    THostEditorWindow *window = Find(*it);
    if (window && PositionKey(window->FileName()) == key)
      return window;
  }
  return nullptr;
}

std::vector<THostEditorWindow *> THostEditor::OpenWindows() {
  std::vector<THostEditorWindow *> windows;
  for (intptr_t id : FOrder)
    windows.push_back(Find(id));
  return windows;
}

THostEditorWindow *THostEditor::Target(intptr_t editorId) {
  if (editorId == -1)
    return Current();
  for (intptr_t id : FOrder)
    if (id == editorId)
      return Find(id);
  return nullptr;
}

void THostEditor::BringToFront(THostEditorWindow &window) {
  auto it = std::find(FOrder.begin(), FOrder.end(), window.Id());
  if (it != FOrder.end()) {
    FOrder.erase(it);
    FOrder.push_back(window.Id());
  }
  FPanelsFocused = false;
}

void THostEditor::Remove(THostEditorWindow &window) {
  auto it = std::find(FOrder.begin(), FOrder.end(), window.Id());
  if (it != FOrder.end())
    FOrder.erase(it);
}

std::wstring THostEditor::PositionKey(const std::wstring &fileName) {
  return Lower(fileName);
}

intptr_t THostEditor::OpenEditor(TFarHost &host, const wchar_t *fileName, const wchar_t *title, intptr_t x1,
                                 intptr_t y1, intptr_t x2, intptr_t y2, EDITOR_FLAGS flags,
                                 intptr_t startLine, intptr_t startChar, uintptr_t codePage) {
  THostEditorCall call;
  call.FileName = fileName ? fileName : L"";
  call.Title = title ? title : L"";
  call.X1 = x1;
  call.Y1 = y1;
  call.X2 = x2;
  call.Y2 = y2;
  call.Flags = flags;
  call.StartLine = startLine;
  call.StartChar = startChar;
  call.CodePage = codePage;
  call.Result = EEC_OPEN_ERROR;
  size_t callIndex = FCalls.size();
  FCalls.push_back(call);
  if (call.FileName.empty()) {
    host.Fail(L"Editor called without a file name");
    return EEC_OPEN_ERROR;
  }

  auto owned = std::make_unique<THostEditorWindow>(host, *this, NextEditorId());
  THostEditorWindow &window = *owned;
  std::wstring why;
  // A file FAR cannot read is reported by FAR itself; the plug-in only sees the result.
  if (!window.Load(call.FileName, flags, codePage, why))
    return EEC_OPEN_ERROR;
  window.Place(call.Title.empty() ? call.FileName : call.Title, x1, y1, x2, y2);
  auto saved = SavedPositions.find(PositionKey(call.FileName));
  if (startLine == -1 && startChar == -1 && !(flags & EF_DISABLESAVEPOS) && saved != SavedPositions.end()) {
    window.SetStart(saved->second.Line, saved->second.Pos);
    window.ScrollTo(saved->second.Top, saved->second.Left);
  } else {
    // FAR's start position is 1-based; 0 and -1 mean the first line or column.
    window.SetStart(startLine > 0 ? startLine - 1 : 0, startChar > 0 ? startChar - 1 : 0);
  }
  FWindows.push_back(std::move(owned));
  FOrder.push_back(window.Id());
  FPanelsFocused = false;
  window.FOpen = true;
  FCalls[callIndex].EditorId = window.Id();
  if (host.Exports().ProcessEditorEventW)
    host.ProcessEditorEvent(EE_READ, nullptr, window.Id());
  window.FKeyBarReady = true;

  const bool nonModal = (flags & EF_NONMODAL) != 0;
  if (nonModal && (flags & EF_IMMEDIATERETURN)) {
    FCalls[callIndex].Result = EEC_MODIFIED;
    return EEC_MODIFIED;
  }
  // The editor runs until the user leaves it: the script says what the user does meanwhile.
  auto step = host.Script().Take<TEditInEditor>(L"an editor on " + call.FileName, why);
  if (!step) {
    host.Fail(why);
  } else {
    if (!step->Expect.empty() && call.FileName.find(step->Expect) == std::wstring::npos &&
        window.Title().find(step->Expect) == std::wstring::npos)
      host.Fail(L"the editor opened on " + call.FileName + L", but the script expected " + step->Expect);
    step->Action(window);
  }
  if (!nonModal && window.IsOpen())
    window.Close();
  intptr_t result = nonModal || window.FSavedOnce ? EEC_MODIFIED : EEC_NOT_MODIFIED;
  FCalls[callIndex].Result = result;
  return result;
}

intptr_t THostEditor::OpenViewer(const wchar_t *fileName, const wchar_t *title, VIEWER_FLAGS flags,
                                 uintptr_t codePage) {
  THostViewerCall call;
  call.FileName = fileName ? fileName : L"";
  call.Title = title ? title : L"";
  call.Flags = flags;
  call.CodePage = codePage;
  DWORD error = 0;
  // A file FAR cannot read is reported by FAR itself; the plug-in only sees FALSE.
  call.Result = !call.FileName.empty() && ReadAll(call.FileName, call.Bytes, error) ? 1 : 0;
  const bool stays = (flags & VF_NONMODAL) && (flags & VF_IMMEDIATERETURN);
  if (call.Result && !stays && (flags & (VF_DELETEONCLOSE | VF_DELETEONLYFILEONCLOSE)))
    DeleteFileW(call.FileName.c_str());
  FViewerCalls.push_back(call);
  return call.Result;
}

namespace {

intptr_t WINAPI HostViewer(const wchar_t *FileName, const wchar_t *Title, intptr_t, intptr_t, intptr_t,
                           intptr_t, VIEWER_FLAGS Flags, uintptr_t CodePage) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"Viewer");
  return THostEditor::Of(host).OpenViewer(FileName, Title, Flags, CodePage);
}

intptr_t WINAPI HostEditor(const wchar_t *FileName, const wchar_t *Title, intptr_t X1, intptr_t Y1,
                           intptr_t X2, intptr_t Y2, EDITOR_FLAGS Flags, intptr_t StartLine,
                           intptr_t StartChar, uintptr_t CodePage) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"Editor");
  return THostEditor::Of(host).OpenEditor(host, FileName, Title, X1, Y1, X2, Y2, Flags, StartLine, StartChar,
                                          CodePage);
}

} // namespace

void InstallHostEditor(TFarHost &host) {
  PluginStartupInfo &info = host.StartupInfo();
  info.Editor = HostEditor;
  info.Viewer = HostViewer;
  VELMORA_HOST_STUB(info, ViewerControl);
  for (int command : {ECTL_GETINFO, ECTL_GETSTRING, ECTL_SETSTRING, ECTL_SETPOSITION, ECTL_REDRAW,
                      ECTL_SETKEYBAR, ECTL_GETFILENAME, ECTL_SETTITLE, ECTL_ADDCOLOR, ECTL_DELCOLOR}) {
    host.OnEditorControl(command, [command](intptr_t editorId, intptr_t param1, void *param2) -> intptr_t {
      TFarHost &active = TFarHost::Active();
      THostEditorWindow *window = THostEditor::Of(active).Target(editorId);
      // No such window: FAR answers FALSE (for -1: no editor has the focus).
      if (!window)
        return 0;
      return window->Control(command, param1, param2);
    });
  }
}
