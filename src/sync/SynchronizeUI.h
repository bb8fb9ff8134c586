#pragma once

#include "FarPlugin.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include <windows.h>

class TConfirmationDialog;

// What to do with two files that differ: also the choice of the synchronise dialog.
enum TDifferentFilesAction { dfaAsk, dfaSkip, dfaCopyToLeft, dfaCopyToRight };

// The answers the user gave for every item of one directory subtree. Every answer starts as
// "ask"; Left is the side of the item the answer is about (true: the left directory).
class TRememberedAction {
public:
  // Index = 2 * directory + read-only.
  enum TTargetType { ttFiles, ttFilesReadOnly, ttDirectories, ttDirectoriesReadOnly };
  enum TOverwriteAction { oaAsk, oaYes, oaNo };
  enum TDeleteAction { daAsk, daYes, daNo };
  // frLink: the item's path leads through a link, so nothing is done there. frPermanentLeft and
  // frPermanentRight: no Recycle Bin takes what is deleted on that side (retry: delete for good).
  enum TFailureReason {
    frCopy,
    frDelete,
    frMakeDirectory,
    frNotFound,
    frNotDirectory,
    frLink,
    frPermanentLeft,
    frPermanentRight
  };
  enum TFailureAction { faAsk, faRetry, faSkip };

  static constexpr int TargetTypeCount = 4;
  static constexpr int FailureReasonCount = 8;

  // Directory: an absolute path without trailing backslash, "" for answers that hold
  // everywhere, or "***\" and a relative directory for answers about differing files.
  explicit TRememberedAction(const std::wstring &Directory = std::wstring());

  static TTargetType TargetTypeOf(bool IsDirectory, bool ReadOnly) {
    return static_cast<TTargetType>(2 * (IsDirectory ? 1 : 0) + (ReadOnly ? 1 : 0));
  }

  // Copies the key and every answer.
  void Assign(const TRememberedAction &Other);
  // Does nothing when Other is not a remembered action (kept for callers holding a base pointer).
  void Assign(const TRememberedAction *Other);

  const std::wstring &GetDirectory() const { return FDirectory; }
  void SetDirectory(const std::wstring &Value) { FDirectory = Value; }

  TDeleteAction GetDeleteAction(bool Left, TTargetType Target) const;
  void SetDeleteAction(bool Left, TTargetType Target, TDeleteAction Value);
  TOverwriteAction GetOverwriteAction(bool Left, bool ReadOnly) const;
  void SetOverwriteAction(bool Left, bool ReadOnly, TOverwriteAction Value);
  TFailureAction GetFailureAction(TFailureReason Reason) const;
  void SetFailureAction(TFailureReason Reason, TFailureAction Value);

  TDifferentFilesAction DifferentFilesAction = dfaAsk;

private:
  std::wstring FDirectory;
  std::array<TDeleteAction, 2 * TargetTypeCount> FDeleteAction{};
  std::array<TOverwriteAction, 4> FOverwriteAction{};
  std::array<TFailureAction, FailureReasonCount> FFailureAction{};
};

// Orders remembered actions by directory, case-insensitively in the user's locale.
class TDirectoryActionComparer {
public:
  // Negative, zero or positive, as CompareStringW.
  int Compare(const TRememberedAction &Left, const TRememberedAction &Right) const;
  bool operator()(const TRememberedAction *Left, const TRememberedAction *Right) const {
    return Compare(*Left, *Right) < 0;
  }
  static int CompareKeys(const std::wstring &Left, const std::wstring &Right);
};

// Answers every question the synchronisation run has for the user: may this item be deleted,
// may this target be overwritten, what to do after a failure, what to do with two files that
// differ. A question first looks for an answer remembered for the item's directory or one of its
// parents (the deepest wins, the empty key "everywhere" is looked at last); in silent mode a
// question without such an answer is declined without asking. Cancelling a question raises EAbort.
class TRunLog;

class TSynchronizeUI : public TFarCommonModule {
public:
  TSynchronizeUI();
  ~TSynchronizeUI() override;
  TSynchronizeUI(const TSynchronizeUI &) = delete;
  TSynchronizeUI &operator=(const TSynchronizeUI &) = delete;

  // The action with that key, created with all answers "ask" when there is none.
  TRememberedAction &GetAction(const std::wstring &Directory);
  // Binary search; null when there is no action with that key.
  TRememberedAction *FindAction(const std::wstring &Directory);
  bool FindAction(const std::wstring &Directory, TRememberedAction *&Action);
  void ClearActions();
  size_t GetActionCount() const { return FActions.size(); }
  const TRememberedAction &GetActionAt(size_t Index) const { return *FActions[Index]; }

  // True when the item may be deleted / the target overwritten; a missing item needs no question.
  bool ConfirmDelete(const std::wstring &Path, bool OnLeft);
  bool ConfirmOverwrite(const std::wstring &Source, const std::wstring &Target, bool ToLeft);
  // The answer ConfirmOverwrite gives without a question, for a target with those attributes:
  // 1 yes, 0 no (remembered, or silent mode), -1 when only the user can answer.
  int RememberedOverwrite(const std::wstring &Target, bool ToLeft, DWORD Attributes);
  // Where the user wants the Recycle Bin but it cannot take the item (the side's volume has none,
  // or the path is too long for it: TooLong): may the item be deleted for good? Both answers can
  // be remembered.
  bool ConfirmPermanentDelete(const std::wstring &Path, bool OnLeft, bool IsDirectory, bool TooLong = false);
  // True for retry, false for skip. Message2 -1 means no second message and path.
  bool AskFailure(int Message, int Message2, const std::wstring &Path, const std::wstring &Path2,
                  TRememberedAction::TFailureReason Reason);
  bool AskCopyFailure(int Message, int Message2, const std::wstring &Source, const std::wstring &Target);
  bool AskDeleteFailure(int Message, const std::wstring &Path);
  bool AskMakeDirectoryFailure(int Message, const std::wstring &Path);
  bool AskNotFound(int Message, const std::wstring &Path);
  bool AskNotDirectory(int Message, const std::wstring &Path);
  // Path is the item, Link the link its path leads through.
  bool AskThroughLink(int Message, int Message2, const std::wstring &Path, const std::wstring &Link);
  // Directories with trailing backslash, Name relative. 0 skip, 1 copy from right to left,
  // 2 copy from left to right.
  int AskDifferentFiles(const std::wstring &LeftDir, const std::wstring &RightDir, const std::wstring &Name);

  // Whether the path exists, and its attributes.
  static bool QueryAttributes(const std::wstring &Path, DWORD &Attributes);

  // Where the failures of the run are recorded; null: nowhere.
  void SetRunLog(TRunLog *Log) { FRunLog = Log; }
  bool GetSilentMode() const { return FSilentMode; }
  void SetSilentMode(bool Value) { FSilentMode = Value; }
  bool GetGlobalRemember() const { return FGlobalRemember; }
  void SetGlobalRemember(bool Value) { FGlobalRemember = Value; }

  // The key prefix of answers about differing files, which are keyed by relative directory.
  static constexpr const wchar_t *DifferentFilesKeyPrefix = L"***\\";

private:
  // The OnCompare handler of the confirmation dialogs: compares the two files of an overwrite or
  // differing-files question, left file first; nothing for the other questions.
  static void CompareFiles(TConfirmationDialog *Sender);

  std::vector<std::unique_ptr<TRememberedAction>> FActions;
  std::unique_ptr<TRememberedAction> FSearchKey;
  TRunLog *FRunLog = nullptr;
  bool FSilentMode = false;
  bool FGlobalRemember = false;
};

// The external compare command's argument template with "${LEFTFILE}" and "${RIGHTFILE}" (any
// letter case) replaced by the two files, each quoted with its inner quotes doubled. Both
// placeholders are replaced in one scan, so text that a file name brings in is never
// substituted again.
std::wstring FormatCompareArguments(const std::wstring &Template, const std::wstring &LeftFile,
                                    const std::wstring &RightFile);
// A file name in double quotes, each double quote inside it doubled.
std::wstring QuoteCompareFileName(const std::wstring &FileName);

// Starts the external compare program configured in the options on two files, without waiting;
// warns when no command or no arguments are configured. A failing start is not reported.
void RunCompareCommand(const std::wstring &LeftFile, const std::wstring &RightFile);
