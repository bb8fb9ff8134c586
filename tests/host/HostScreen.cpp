// FAR's screen and windows as the host plays them: SaveScreen, RestoreScreen, FreeScreen, Text
// and the AdvControl commands about FAR itself, its windows and the taskbar progress.
//
// Register further AdvControl commands here with host.OnAdvControl(ACTL_..., handler).
#include "HostScreen.h"

#include <mutex>
#include <thread>

namespace {

// The attribute that starts a process inside a pseudo console (the SDK names it only for newer
// target versions): attribute number 22.
const DWORD_PTR PseudoConsoleAttribute = ProcThreadAttributeValue(22, FALSE, TRUE, FALSE);

HANDLE WINAPI HostSaveScreen(intptr_t, intptr_t, intptr_t, intptr_t) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(L"SaveScreen");
  auto &screen = host.Part<THostScreen>();
  HANDLE handle = reinterpret_cast<HANDLE>(screen.NextHandle += 0x10);
  screen.Saved.insert(handle);
  ++screen.SaveCount;
  return handle;
}

void ReleaseScreen(const wchar_t *name, HANDLE handle, bool restore) {
  TFarHost &host = TFarHost::Active();
  host.RecordCall(name);
  auto &screen = host.Part<THostScreen>();
  if (!handle) {
    if (restore)
      ++screen.FullRedraws;
    return;
  }
  if (!screen.Saved.erase(handle)) {
    host.Fail(std::wstring(name) +
              L" with a handle SaveScreen did not give out or that was already released");
    return;
  }
  if (restore)
    ++screen.RestoreCount;
}

void WINAPI HostRestoreScreen(HANDLE handle) {
  ReleaseScreen(L"RestoreScreen", handle, true);
}
void WINAPI HostFreeScreen(HANDLE handle) {
  ReleaseScreen(L"FreeScreen", handle, false);
}

// ---- The console ----

bool IsConsoleInput(HANDLE handle) {
  DWORD mode = 0;
  return handle && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

HANDLE OpenConsoleInput() {
  return CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_EXISTING, 0, nullptr);
}

// Makes the console input the standard input; the handle stays open for the program's life.
bool UseConsoleInput() {
  HANDLE input = OpenConsoleInput();
  if (!IsConsoleInput(input)) {
    if (input != INVALID_HANDLE_VALUE)
      CloseHandle(input);
    return false;
  }
  SetStdHandle(STD_INPUT_HANDLE, input);
  return true;
}

std::wstring LastErrorText(const wchar_t *what) {
  return std::wstring(what) + L" failed with error " + std::to_wstring(GetLastError());
}

// A pseudo console needs a process started in it; the program then attaches to that console,
// which outlives the helper. Output and error keep going where they went before.
bool AttachPseudoConsole(std::wstring &why) {
  HANDLE inputRead = nullptr, inputWrite = nullptr, outputRead = nullptr, outputWrite = nullptr;
  if (!CreatePipe(&inputRead, &inputWrite, nullptr, 0) ||
      !CreatePipe(&outputRead, &outputWrite, nullptr, 0)) {
    why = LastErrorText(L"CreatePipe");
    return false;
  }
  // Looked up at run time: older systems have no pseudo consoles, and the program must still start.
  using TCreatePseudoConsole = HRESULT(WINAPI *)(COORD, HANDLE, HANDLE, DWORD, void **);
  auto create = reinterpret_cast<TCreatePseudoConsole>(
      reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CreatePseudoConsole")));
  if (!create) {
    why = L"the system has no pseudo consoles";
    return false;
  }
  void *console = nullptr;
  HRESULT created = create(COORD{80, 25}, inputRead, outputWrite, 0, &console);
  if (FAILED(created)) {
    why = L"CreatePseudoConsole failed with " + std::to_wstring(created);
    return false;
  }
  // The console's output must be drained, or it stalls once its pipe is full.
  std::thread([outputRead] {
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(outputRead, buffer, sizeof buffer, &count, nullptr) && count)
      ;
  }).detach();

  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<char> listMemory(size);
  auto *list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listMemory.data());
  if (!InitializeProcThreadAttributeList(list, 1, 0, &size) ||
      !UpdateProcThreadAttribute(list, 0, PseudoConsoleAttribute, console, sizeof console, nullptr,
                                 nullptr)) {
    why = LastErrorText(L"UpdateProcThreadAttribute");
    return false;
  }
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.lpAttributeList = list;
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + TFarHost::ProgramFolder() + L"\\ConsoleHolder.exe\"";
  BOOL started =
      CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                     nullptr, &startup.StartupInfo, &process);
  DeleteProcThreadAttributeList(list);
  if (!started) {
    why = LastErrorText(L"starting ConsoleHolder.exe");
    return false;
  }

  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE), error = GetStdHandle(STD_ERROR_HANDLE);
  FreeConsole();
  // The helper attaches while it starts; give it a moment.
  bool attached = false;
  for (int attempt = 0; attempt < 100 && !attached; ++attempt) {
    attached = AttachConsole(process.dwProcessId) != FALSE;
    if (!attached)
      Sleep(20);
  }
  SetStdHandle(STD_OUTPUT_HANDLE, output);
  SetStdHandle(STD_ERROR_HANDLE, error);
  TerminateProcess(process.hProcess, 0);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  if (!attached) {
    why = LastErrorText(L"AttachConsole");
    return false;
  }
  if (!UseConsoleInput()) {
    why = LastErrorText(L"opening CONIN$ of the pseudo console");
    return false;
  }
  return true;
}

std::mutex ConsoleLock;

} // namespace

bool THostConsole::Ensure(std::wstring *why) {
  std::lock_guard<std::mutex> guard(ConsoleLock);
  static bool ready = false;
  static std::wstring failure;
  if (ready)
    return true;
  if (failure.empty()) {
    if (IsConsoleInput(GetStdHandle(STD_INPUT_HANDLE)) || UseConsoleInput())
      ready = true;
    else if (AttachPseudoConsole(failure))
      ready = true;
    else if (failure.empty())
      failure = L"no console";
  }
  if (!ready && why)
    *why = failure;
  return ready;
}

bool THostConsole::PushEvent(const INPUT_RECORD &record) {
  if (!Ensure())
    return false;
  DWORD written = 0;
  return WriteConsoleInputW(GetStdHandle(STD_INPUT_HANDLE), &record, 1, &written) && written == 1;
}

bool THostConsole::PushKey(WORD virtualKey, bool keyDown, wchar_t character) {
  INPUT_RECORD record{};
  record.EventType = KEY_EVENT;
  record.Event.KeyEvent.bKeyDown = keyDown;
  record.Event.KeyEvent.wRepeatCount = 1;
  record.Event.KeyEvent.wVirtualKeyCode = virtualKey;
  record.Event.KeyEvent.uChar.UnicodeChar = character;
  return PushEvent(record);
}

bool THostConsole::PushFocusEvent() {
  INPUT_RECORD record{};
  record.EventType = FOCUS_EVENT;
  record.Event.FocusEvent.bSetFocus = TRUE;
  return PushEvent(record);
}

size_t THostConsole::Pending() {
  if (!Ensure())
    return 0;
  DWORD count = 0;
  GetNumberOfConsoleInputEvents(GetStdHandle(STD_INPUT_HANDLE), &count);
  return count;
}

void THostConsole::Flush() {
  if (Ensure())
    FlushConsoleInputBuffer(GetStdHandle(STD_INPUT_HANDLE));
}

std::vector<THostMessage> HostProgressMessages(TFarHost &host) {
  std::vector<THostMessage> result;
  for (const auto &message : host.Messages())
    if (message.Buttons.empty())
      result.push_back(message);
  return result;
}

void InstallHostScreen(TFarHost &host) {
  PluginStartupInfo &info = host.StartupInfo();
  info.SaveScreen = HostSaveScreen;
  info.RestoreScreen = HostRestoreScreen;
  info.FreeScreen = HostFreeScreen;
  VELMORA_HOST_STUB(info, Text);

  host.OnAdvControl(ACTL_GETFARMANAGERVERSION, [](const GUID *, intptr_t, void *param2) -> intptr_t {
    if (!param2)
      return FALSE;
    *static_cast<VersionInfo *>(param2) = VersionInfo{3, 0, 0, 6682, VS_RELEASE};
    return TRUE;
  });
  host.OnAdvControl(ACTL_REDRAWALL, [&host](const GUID *, intptr_t, void *) -> intptr_t {
    ++host.Part<THostScreen>().FullRedraws;
    return TRUE;
  });
  host.OnAdvControl(ACTL_SETPROGRESSSTATE, [&host](const GUID *, intptr_t state, void *) -> intptr_t {
    auto &screen = host.Part<THostScreen>();
    THostTaskbarCall call;
    call.Command = ACTL_SETPROGRESSSTATE;
    call.State = state;
    screen.TaskbarCalls.push_back(call);
    if (state != TBPS_NOPROGRESS && state != TBPS_INDETERMINATE && state != TBPS_NORMAL &&
        state != TBPS_ERROR && state != TBPS_PAUSED)
      host.Fail(L"ACTL_SETPROGRESSSTATE with an unknown state " + std::to_wstring(state));
    if (screen.RefuseProgressState)
      return FALSE;
    screen.TaskbarState = state;
    return TRUE;
  });
  host.OnAdvControl(ACTL_SETPROGRESSVALUE, [&host](const GUID *, intptr_t, void *param2) -> intptr_t {
    auto &screen = host.Part<THostScreen>();
    auto *value = static_cast<const ProgressValue *>(param2);
    if (!value || value->StructSize < sizeof(ProgressValue)) {
      host.Fail(L"ACTL_SETPROGRESSVALUE: ProgressValue missing or StructSize too small");
      return FALSE;
    }
    THostTaskbarCall call;
    call.Command = ACTL_SETPROGRESSVALUE;
    call.Completed = value->Completed;
    call.Total = value->Total;
    screen.TaskbarCalls.push_back(call);
    if (screen.RefuseProgressValue)
      return FALSE;
    screen.TaskbarCompleted = value->Completed;
    screen.TaskbarTotal = value->Total;
    return TRUE;
  });
}
