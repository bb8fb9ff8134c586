#include "SynchronizeUI.h"

#include "Confirmations.h"
#include "Exceptions.h"
#include "Files.h"
#include "Options.h"
#include "RunLog.h"

#include <algorithm>
#include <cwctype>

// ---- TRememberedAction ----

TRememberedAction::TRememberedAction(const std::wstring &Directory) : FDirectory(Directory) {
  FDeleteAction.fill(daAsk);
  FOverwriteAction.fill(oaAsk);
  FFailureAction.fill(faAsk);
}

void TRememberedAction::Assign(const TRememberedAction &Other) {
  if (&Other == this)
    return;
  FDirectory = Other.FDirectory;
  FDeleteAction = Other.FDeleteAction;
  FOverwriteAction = Other.FOverwriteAction;
  FFailureAction = Other.FFailureAction;
  DifferentFilesAction = Other.DifferentFilesAction;
}

void TRememberedAction::Assign(const TRememberedAction *Other) {
  if (Other)
    Assign(*Other);
}

TRememberedAction::TDeleteAction TRememberedAction::GetDeleteAction(bool Left, TTargetType Target) const {
  return FDeleteAction[(Left ? TargetTypeCount : 0) + Target];
}

void TRememberedAction::SetDeleteAction(bool Left, TTargetType Target, TDeleteAction Value) {
  FDeleteAction[(Left ? TargetTypeCount : 0) + Target] = Value;
}

TRememberedAction::TOverwriteAction TRememberedAction::GetOverwriteAction(bool Left, bool ReadOnly) const {
  return FOverwriteAction[(Left ? 2 : 0) + (ReadOnly ? 1 : 0)];
}

void TRememberedAction::SetOverwriteAction(bool Left, bool ReadOnly, TOverwriteAction Value) {
  FOverwriteAction[(Left ? 2 : 0) + (ReadOnly ? 1 : 0)] = Value;
}

TRememberedAction::TFailureAction TRememberedAction::GetFailureAction(TFailureReason Reason) const {
  return FFailureAction[Reason];
}

void TRememberedAction::SetFailureAction(TFailureReason Reason, TFailureAction Value) {
  FFailureAction[Reason] = Value;
}

// ---- TDirectoryActionComparer ----

int TDirectoryActionComparer::CompareKeys(const std::wstring &Left, const std::wstring &Right) {
  int Result = ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, Left.c_str(),
                                static_cast<int>(Left.size()), Right.c_str(), static_cast<int>(Right.size()));
  if (Result == 0) // the call failed: fall back to an ordinal order so the list stays sorted
    return Left.compare(Right);
  return Result - CSTR_EQUAL;
}

int TDirectoryActionComparer::Compare(const TRememberedAction &Left, const TRememberedAction &Right) const {
  return CompareKeys(Left.GetDirectory(), Right.GetDirectory());
}

// ---- TSynchronizeUI ----

namespace {

// Where a question stands after looking at one key.
enum class TVerdict { Unknown, Yes, No };

std::wstring WithoutTrailingBackslash(const std::wstring &Path) {
  if (!Path.empty() && Path.back() == L'\\')
    return Path.substr(0, Path.size() - 1);
  return Path;
}

} // namespace

TSynchronizeUI::TSynchronizeUI() : FSearchKey(std::make_unique<TRememberedAction>()) {}

TSynchronizeUI::~TSynchronizeUI() = default;

TRememberedAction *TSynchronizeUI::FindAction(const std::wstring &Directory) {
  FSearchKey->SetDirectory(Directory);
  TDirectoryActionComparer Comparer;
  auto Position = std::lower_bound(FActions.begin(), FActions.end(), FSearchKey.get(),
                                   [&](const std::unique_ptr<TRememberedAction> &Item,
                                       const TRememberedAction *Key) { return Comparer(Item.get(), Key); });
  if (Position != FActions.end() && Comparer.Compare(**Position, *FSearchKey) == 0)
    return Position->get();
  return nullptr;
}

bool TSynchronizeUI::FindAction(const std::wstring &Directory, TRememberedAction *&Action) {
  Action = FindAction(Directory);
  return Action != nullptr;
}

TRememberedAction &TSynchronizeUI::GetAction(const std::wstring &Directory) {
  if (TRememberedAction *Found = FindAction(Directory))
    return *Found;
  auto Action = std::make_unique<TRememberedAction>(Directory);
  TDirectoryActionComparer Comparer;
  auto Position = std::lower_bound(FActions.begin(), FActions.end(), Action.get(),
                                   [&](const std::unique_ptr<TRememberedAction> &Item,
                                       const TRememberedAction *Key) { return Comparer(Item.get(), Key); });
  return **FActions.insert(Position, std::move(Action));
}

void TSynchronizeUI::ClearActions() {
  FActions.clear();
}

bool TSynchronizeUI::QueryAttributes(const std::wstring &Path, DWORD &Attributes) {
  Attributes = ::GetFileAttributesW(Path.c_str());
  if (Attributes != INVALID_FILE_ATTRIBUTES)
    return true;
  DWORD Error = ::GetLastError();
  if (Error == ERROR_FILE_NOT_FOUND || Error == ERROR_PATH_NOT_FOUND || Error == ERROR_INVALID_NAME)
    return false;
  // Other errors (a locked or inaccessible item): the directory listing still tells.
  WIN32_FIND_DATAW Data;
  HANDLE Find = ::FindFirstFileW(Path.c_str(), &Data);
  if (Find == INVALID_HANDLE_VALUE)
    return false;
  ::FindClose(Find);
  Attributes = Data.dwFileAttributes;
  return true;
}

namespace {

// Walks from Start up to the empty key; the first key whose action gives a verdict decides.
template <class TLookup>
TVerdict WalkRemembered(TSynchronizeUI &UI, std::wstring Directory, const std::wstring &KeyPrefix,
                        TLookup Lookup) {
  for (;;) {
    if (TRememberedAction *Action = UI.FindAction(KeyPrefix + Directory)) {
      TVerdict Verdict = Lookup(*Action);
      if (Verdict != TVerdict::Unknown)
        return Verdict;
    }
    if (Directory.empty())
      return TVerdict::Unknown;
    Directory = ExtractParentPath(Directory);
  }
}

// The remembered answer to a failure question (retry: yes) for the directory or a parent.
TVerdict RememberedFailureAnswer(TSynchronizeUI &UI, const std::wstring &Directory,
                                 TRememberedAction::TFailureReason Reason) {
  return WalkRemembered(UI, Directory, std::wstring(), [&](const TRememberedAction &Action) {
    switch (Action.GetFailureAction(Reason)) {
    case TRememberedAction::faRetry:
      return TVerdict::Yes;
    case TRememberedAction::faSkip:
      return TVerdict::No;
    default:
      return TVerdict::Unknown;
    }
  });
}

TVerdict FromDelete(TRememberedAction::TDeleteAction Action) {
  return Action == TRememberedAction::daYes  ? TVerdict::Yes
         : Action == TRememberedAction::daNo ? TVerdict::No
                                             : TVerdict::Unknown;
}

TVerdict FromOverwrite(TRememberedAction::TOverwriteAction Action) {
  return Action == TRememberedAction::oaYes  ? TVerdict::Yes
         : Action == TRememberedAction::oaNo ? TVerdict::No
                                             : TVerdict::Unknown;
}

} // namespace

bool TSynchronizeUI::ConfirmDelete(const std::wstring &Path, bool OnLeft) {
  DWORD Attributes = 0;
  if (!QueryAttributes(Path, Attributes))
    return true;
  const bool ReadOnly = (Attributes & FILE_ATTRIBUTE_READONLY) != 0;
  const bool IsDirectory = (Attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const TRememberedAction::TTargetType Target = TRememberedAction::TargetTypeOf(IsDirectory, ReadOnly);
  const std::wstring Directory = ExtractParentPath(Path);

  // An answer for read-only items covers normal ones, an answer for directories covers files.
  TVerdict Verdict = WalkRemembered(*this, Directory, std::wstring(), [&](const TRememberedAction &Action) {
    using A = TRememberedAction;
    TVerdict V = FromDelete(Action.GetDeleteAction(OnLeft, A::ttDirectoriesReadOnly));
    if (V == TVerdict::Unknown && !ReadOnly)
      V = FromDelete(Action.GetDeleteAction(OnLeft, A::ttDirectories));
    if (V == TVerdict::Unknown && !IsDirectory)
      V = FromDelete(Action.GetDeleteAction(OnLeft, A::ttFilesReadOnly));
    if (V == TVerdict::Unknown && !IsDirectory && !ReadOnly)
      V = FromDelete(Action.GetDeleteAction(OnLeft, A::ttFiles));
    return V;
  });
  if (Verdict != TVerdict::Unknown)
    return Verdict == TVerdict::Yes;
  if (FSilentMode)
    return false;

  auto Dialog = TFarDialog::Create<TDeleteConfirmationDialog>();
  Dialog->OnLeft = OnLeft;
  Dialog->ReadOnly = ReadOnly;
  Dialog->FileName = Path;
  Dialog->IsDirectory = IsDirectory;
  Dialog->SetDirectory(Directory);
  Dialog->SetGlobal(FGlobalRemember);
  switch (Dialog->Ask()) {
  case caFirst:
    // The directory's own contents are covered by this answer.
    if (IsDirectory)
      GetAction(WithoutTrailingBackslash(Path)).SetDeleteAction(OnLeft, Target, TRememberedAction::daYes);
    return true;
  case caFirstRemember:
    GetAction(Dialog->GetDirectory()).SetDeleteAction(OnLeft, Target, TRememberedAction::daYes);
    return true;
  case caSecond:
    if (IsDirectory)
      GetAction(WithoutTrailingBackslash(Path)).SetDeleteAction(OnLeft, Target, TRememberedAction::daNo);
    return false;
  case caSecondRemember:
    GetAction(Dialog->GetDirectory()).SetDeleteAction(OnLeft, Target, TRememberedAction::daNo);
    return false;
  default:
    throw EAbort();
  }
}

int TSynchronizeUI::RememberedOverwrite(const std::wstring &Target, bool ToLeft, DWORD Attributes) {
  const bool ReadOnly = (Attributes & FILE_ATTRIBUTE_READONLY) != 0;
  // A yes for read-only targets covers normal ones; one for normal targets does not cover read-only.
  const TVerdict Verdict =
      WalkRemembered(*this, ExtractParentPath(Target), std::wstring(), [&](const TRememberedAction &Action) {
        TVerdict V = FromOverwrite(Action.GetOverwriteAction(ToLeft, true));
        if (V == TVerdict::Unknown && !ReadOnly)
          V = FromOverwrite(Action.GetOverwriteAction(ToLeft, false));
        return V;
      });
  if (Verdict != TVerdict::Unknown)
    return Verdict == TVerdict::Yes ? 1 : 0;
  return FSilentMode ? 0 : -1;
}

bool TSynchronizeUI::ConfirmOverwrite(const std::wstring &Source, const std::wstring &Target, bool ToLeft) {
  DWORD Attributes = 0;
  if (!QueryAttributes(Target, Attributes))
    return true;
  const bool ReadOnly = (Attributes & FILE_ATTRIBUTE_READONLY) != 0;
  const std::wstring Directory = ExtractParentPath(Target);
  const int Remembered = RememberedOverwrite(Target, ToLeft, Attributes);
  if (Remembered >= 0)
    return Remembered == 1;

  auto Dialog = TFarDialog::Create<TOverwriteConfirmationDialog>();
  Dialog->ToLeft = ToLeft;
  Dialog->ReadOnly = ReadOnly;
  Dialog->SourceFileName = Source;
  Dialog->TargetFileName = Target;
  Dialog->SetDirectory(Directory);
  Dialog->SetGlobal(FGlobalRemember);
  Dialog->OnCompare = &TSynchronizeUI::CompareFiles;
  switch (Dialog->Ask()) {
  case caFirst:
    return true;
  case caFirstRemember:
    GetAction(Dialog->GetDirectory()).SetOverwriteAction(ToLeft, ReadOnly, TRememberedAction::oaYes);
    return true;
  case caSecond:
    return false;
  case caSecondRemember:
    GetAction(Dialog->GetDirectory()).SetOverwriteAction(ToLeft, ReadOnly, TRememberedAction::oaNo);
    return false;
  default:
    throw EAbort();
  }
}

bool TSynchronizeUI::AskFailure(int Message, int Message2, const std::wstring &Path,
                                const std::wstring &Path2, TRememberedAction::TFailureReason Reason) {
  // Every failure goes on record, whatever the answer to it.
  if (FRunLog) {
    const DWORD Error = ::GetLastError();
    FRunLog->Failed(GetMsg(Message), Error, Path, Path2);
    ::SetLastError(Error);
  }
  // A copy failure is remembered for the target's directory.
  const std::wstring Directory = ExtractParentPath(Reason == TRememberedAction::frCopy ? Path2 : Path);
  TVerdict Verdict = RememberedFailureAnswer(*this, Directory, Reason);
  if (Verdict != TVerdict::Unknown)
    return Verdict == TVerdict::Yes;
  if (FSilentMode)
    return false;

  std::unique_ptr<TRetrySkipCancelDialog> Dialog;
  if (Message2 == -1) {
    Dialog = TFarDialog::Create<TRetrySkipCancelDialog>();
  } else {
    auto Dialog2 = TFarDialog::Create<TRetrySkipCancelDialog2>();
    Dialog2->SecondMessageId = static_cast<int16_t>(Message2);
    Dialog2->SecondFileName = Path2;
    Dialog = std::move(Dialog2);
  }
  Dialog->MessageId = static_cast<int16_t>(Message);
  Dialog->FileName = Path;
  Dialog->SetDirectory(Directory);
  Dialog->SetGlobal(FGlobalRemember);
  switch (Dialog->Ask()) {
  case caFirst:
  case caFirstRemember:
    // Retrying for all would loop on a failure that does not go away: never remembered.
    return true;
  case caSecond:
    return false;
  case caSecondRemember:
    GetAction(Dialog->GetDirectory()).SetFailureAction(Reason, TRememberedAction::faSkip);
    return false;
  default:
    throw EAbort();
  }
}

bool TSynchronizeUI::AskCopyFailure(int Message, int Message2, const std::wstring &Source,
                                    const std::wstring &Target) {
  return AskFailure(Message, Message2, Source, Target, TRememberedAction::frCopy);
}

bool TSynchronizeUI::ConfirmPermanentDelete(const std::wstring &Path, bool OnLeft, bool IsDirectory,
                                            bool TooLong) {
  const auto Reason = OnLeft ? TRememberedAction::frPermanentLeft : TRememberedAction::frPermanentRight;
  const std::wstring Directory = ExtractParentPath(Path);
  TVerdict Verdict = RememberedFailureAnswer(*this, Directory, Reason);
  if (Verdict != TVerdict::Unknown)
    return Verdict == TVerdict::Yes;
  if (FSilentMode)
    return false;

  auto Dialog = TFarDialog::Create<TDeleteConfirmationDialog>();
  Dialog->OnLeft = OnLeft;
  Dialog->Permanent = true;
  Dialog->TooLong = TooLong;
  Dialog->FileName = Path;
  Dialog->IsDirectory = IsDirectory;
  Dialog->SetDirectory(Directory);
  Dialog->SetGlobal(FGlobalRemember);
  switch (Dialog->Ask()) {
  case caFirst:
    return true;
  case caFirstRemember:
    GetAction(Dialog->GetDirectory()).SetFailureAction(Reason, TRememberedAction::faRetry);
    return true;
  case caSecond:
    return false;
  case caSecondRemember:
    GetAction(Dialog->GetDirectory()).SetFailureAction(Reason, TRememberedAction::faSkip);
    return false;
  default:
    throw EAbort();
  }
}

bool TSynchronizeUI::AskDeleteFailure(int Message, const std::wstring &Path) {
  return AskFailure(Message, -1, Path, std::wstring(), TRememberedAction::frDelete);
}

bool TSynchronizeUI::AskMakeDirectoryFailure(int Message, const std::wstring &Path) {
  return AskFailure(Message, -1, Path, std::wstring(), TRememberedAction::frMakeDirectory);
}

bool TSynchronizeUI::AskNotFound(int Message, const std::wstring &Path) {
  return AskFailure(Message, -1, Path, std::wstring(), TRememberedAction::frNotFound);
}

bool TSynchronizeUI::AskNotDirectory(int Message, const std::wstring &Path) {
  return AskFailure(Message, -1, Path, std::wstring(), TRememberedAction::frNotDirectory);
}

bool TSynchronizeUI::AskThroughLink(int Message, int Message2, const std::wstring &Path,
                                    const std::wstring &Link) {
  return AskFailure(Message, Message2, Path, Link, TRememberedAction::frLink);
}

int TSynchronizeUI::AskDifferentFiles(const std::wstring &LeftDir, const std::wstring &RightDir,
                                      const std::wstring &Name) {
  DWORD Attributes = 0;
  const std::wstring LeftPath = LeftDir + Name;
  const std::wstring RightPath = RightDir + Name;
  if (!QueryAttributes(LeftPath, Attributes) || !QueryAttributes(RightPath, Attributes))
    return 0;
  const std::wstring Directory = ExtractParentPath(Name);

  int Answer = -1;
  WalkRemembered(*this, Directory, DifferentFilesKeyPrefix, [&](const TRememberedAction &Action) {
    switch (Action.DifferentFilesAction) {
    case dfaSkip:
      Answer = 0;
      return TVerdict::Yes;
    case dfaCopyToLeft:
      Answer = 1;
      return TVerdict::Yes;
    case dfaCopyToRight:
      Answer = 2;
      return TVerdict::Yes;
    default:
      return TVerdict::Unknown;
    }
  });
  if (Answer >= 0)
    return Answer;
  if (FSilentMode)
    return 0;

  auto Dialog = TFarDialog::Create<TWhatToDoWithDifferentFilesDialog>();
  Dialog->FileName = Name;
  Dialog->LeftPath = LeftPath;
  Dialog->RightPath = RightPath;
  Dialog->SetDirectory(Directory);
  Dialog->SetGlobal(FGlobalRemember);
  Dialog->OnCompare = &TSynchronizeUI::CompareFiles;
  auto Remember = [&](TDifferentFilesAction Action) {
    GetAction(DifferentFilesKeyPrefix + Dialog->GetDirectory()).DifferentFilesAction = Action;
  };
  switch (Dialog->Ask()) {
  case waFirst:
    return 1;
  case waFirstRemember:
    Remember(dfaCopyToLeft);
    return 1;
  case waSecond:
    return 2;
  case waSecondRemember:
    Remember(dfaCopyToRight);
    return 2;
  case waSkip:
    return 0;
  case waSkipRemember:
    Remember(dfaSkip);
    return 0;
  default:
    throw EAbort();
  }
}

void TSynchronizeUI::CompareFiles(TConfirmationDialog *Sender) {
  if (auto *Overwrite = dynamic_cast<TOverwriteConfirmationDialog *>(Sender)) {
    if (Overwrite->ToLeft)
      RunCompareCommand(Overwrite->TargetFileName, Overwrite->SourceFileName);
    else
      RunCompareCommand(Overwrite->SourceFileName, Overwrite->TargetFileName);
  } else if (auto *Different = dynamic_cast<TWhatToDoWithDifferentFilesDialog *>(Sender)) {
    RunCompareCommand(Different->LeftPath, Different->RightPath);
  }
}

// ---- The external compare command ----

std::wstring QuoteCompareFileName(const std::wstring &FileName) {
  std::wstring Result = L"\"";
  for (wchar_t C : FileName) {
    if (C == L'"')
      Result += L'"';
    Result += C;
  }
  Result += L'"';
  return Result;
}

namespace {

bool MatchesAt(const std::wstring &Text, size_t Position, const wchar_t *Placeholder) {
  size_t Length = wcslen(Placeholder);
  if (Text.size() - Position < Length)
    return false;
  for (size_t I = 0; I < Length; ++I)
    if (std::towupper(Text[Position + I]) != std::towupper(Placeholder[I]))
      return false;
  return true;
}

} // namespace

std::wstring FormatCompareArguments(const std::wstring &Template, const std::wstring &LeftFile,
                                    const std::wstring &RightFile) {
  static constexpr const wchar_t *LeftPlaceholder = L"${LEFTFILE}";
  static constexpr const wchar_t *RightPlaceholder = L"${RIGHTFILE}";
  const std::wstring QuotedLeft = QuoteCompareFileName(LeftFile);
  const std::wstring QuotedRight = QuoteCompareFileName(RightFile);
  std::wstring Result;
  size_t Position = 0;
  while (Position < Template.size()) {
    if (MatchesAt(Template, Position, LeftPlaceholder)) {
      Result += QuotedLeft;
      Position += wcslen(LeftPlaceholder);
    } else if (MatchesAt(Template, Position, RightPlaceholder)) {
      Result += QuotedRight;
      Position += wcslen(RightPlaceholder);
    } else {
      Result += Template[Position++];
    }
  }
  return Result;
}

void RunCompareCommand(const std::wstring &LeftFile, const std::wstring &RightFile) {
  TVelmoraOptions Options;
  Options.Load();
  const std::wstring Command = ExpandEnvironment(Options.CompareCommand);
  const std::wstring &Arguments = Options.CompareCommandArguments;
  if (Command.empty() || Arguments.empty()) {
    TFarModule::ShowMessage({TFarModule::GetMsg(34), TFarModule::GetMsg(87), TFarModule::GetMsg(1)},
                            FMSG_WARNING, 1);
    return;
  }
  std::wstring Left = LeftFile;
  std::wstring Right = RightFile;
  if (!Options.CompareCommandAcceptsNTFileNames) {
    Left = RemoveLongPathPrefix(Left);
    Right = RemoveLongPathPrefix(Right);
  }
  // The outcome is not examined: the program's own window is the user's feedback.
  ShellOpen(Command, FormatCompareArguments(Arguments, Left, Right));
}
