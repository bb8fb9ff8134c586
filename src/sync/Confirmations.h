#pragma once

#include "FarButtonDialogs.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// The answer of a two-button confirmation.
enum TConfirmationAnswer { caFirst, caFirstRemember, caSecond, caSecondRemember, caCancel };
// The answer of the question about two files that differ.
enum TDifferentFilesAnswer {
  waFirst,
  waFirstRemember,
  waSecond,
  waSecondRemember,
  waSkip,
  waSkipRemember,
  waCancel
};

// The shape every question of the synchronisation shares: a warning-coloured button dialog with
// the question, rows about the files, a check box that remembers the answer for the directory in
// the edit under it (or everywhere, with Global), a Compare button that opens an external
// comparison without closing the question, and Cancel.
//
// Created with TFarDialog::Create<T>(); the caller sets the fields, Directory, Global and
// OnCompare, asks, and reads Remember and Directory (as the user may have edited it) afterwards.
class TConfirmationDialog : public TButtonsDialog {
public:
  using TCompareEvent = std::function<void(TConfirmationDialog *Sender)>;

  explicit TConfirmationDialog(const GUID &Id);

  // Stored without one trailing backslash; empty when Global.
  std::wstring GetDirectory() const;
  void SetDirectory(const std::wstring &Value);
  bool GetGlobal() const { return FGlobal; }
  // The dialog is one row shorter while Global: the directory edit is gone.
  void SetGlobal(bool Value);
  // After a run: whether the remember check box was set.
  bool GetRemember() const { return FRemember; }
  std::wstring GetMessage() const;
  void SetMessage(const std::wstring &Value);

  // Runs the question; false when it was closed without a button (Esc), which changes nothing.
  bool ExecuteConfirmation(TButton *&Button);

  TLabel *GetMessageLabel() const { return MessageLabel; }
  TCheckbox *GetRememberCheckbox() const { return RememberCheckbox; }
  TEdit *GetDirectoryEdit() const { return DirectoryEdit; }
  TButton *GetCompareButton() const { return CompareButton; }
  TButton *GetCancelButton() const { return CancelButton; }

  void ClearControls() override;
  void SetSize(int Width, int Height) override;
  void AdjustSize(int &Width, int &Height) override;
  const wchar_t *ClassName() const override { return L"TConfirmationDialog"; }

  // Run by the Compare button; the button is hidden while this is empty.
  TCompareEvent OnCompare;

  // One row about a file: the caption cut or padded to Width - 40, three spaces, the size (or
  // the directory text) right-aligned in 15 columns, a space, the last-write time right-aligned
  // in 21 columns; "?" for what cannot be read. Exactly Width characters when Width >= 40.
  static std::wstring FormatFileLine(int MessageId, const std::wstring &Path, int Width);

protected:
  void AfterConstruction() override;
  void CreateClientControls() override;
  void CreateButtons() override;
  // A path in display form, fitted to the width of the label that shows it.
  static std::wstring FitPath(const std::wstring &Path, const TLabel *Label);

  TLabel *MessageLabel = nullptr;
  TSeparator *RememberSeparator = nullptr;
  TCheckbox *RememberCheckbox = nullptr;
  TEdit *DirectoryEdit = nullptr;
  TButton *CompareButton = nullptr;
  TButton *CancelButton = nullptr;

private:
  void RememberClicked(int NewState);
  void RememberKey(WORD VirtualKeyCode, DWORD ControlKeyState, bool &Handled);
  std::wstring KeyOfShownDirectory(const std::wstring &Shown) const;

  std::wstring FDirectory;
  bool FRemember = false;
  bool FGlobal = false;
};

// A confirmation with two answer buttons (Yes is the default), a header line with the path the
// question is about, and LabelCount rows of file information.
class TTwoButtonConfirmationDialog : public TConfirmationDialog {
public:
  using TConfirmationDialog::TConfirmationDialog;

  TConfirmationAnswer Ask();
  // Raises EListError "List index out of bounds" outside 0 .. LabelCount - 1.
  TLabel *GetLabelInfo(int Index) const;
  TLabel *GetHeaderLabel() const { return HeaderLabel; }
  TButton *GetYesButton() const { return YesButton; }
  TButton *GetNoButton() const { return NoButton; }

  // The number of information rows of the concrete question (at least 1).
  virtual int LabelCount() const = 0;
  // Fills the question, the header and the rows from the fields, fitted to the label widths.
  virtual void UpdateLabels() = 0;

  void ClearControls() override;
  void SetSize(int Width, int Height) override;
  void AdjustSize(int &Width, int &Height) override;
  const wchar_t *ClassName() const override { return L"TTwoButtonConfirmationDialog"; }

protected:
  void CreateClientControls() override;
  void CreateButtons() override;

  TButton *YesButton = nullptr;
  TButton *NoButton = nullptr;
  TLabel *HeaderLabel = nullptr;
  TSeparator *LabelSeparator = nullptr;
  std::vector<TLabel *> Labels;
};

// May this file be overwritten? Overwrite, Skip, Compare, Cancel.
class TOverwriteConfirmationDialog final : public TTwoButtonConfirmationDialog {
public:
  TOverwriteConfirmationDialog();
  int LabelCount() const override { return 2; }
  void UpdateLabels() override;
  const wchar_t *ClassName() const override { return L"TOverwriteConfirmationDialog"; }

  // The file that would be copied and the existing file it would replace.
  std::wstring SourceFileName;
  std::wstring TargetFileName;
  // The existing file is on the left side.
  bool ToLeft = false;
  // The existing file is read-only.
  bool ReadOnly = false;

protected:
  void CreateButtons() override;
};

// May this file or directory be deleted? Delete, Skip, Compare, Cancel.
class TDeleteConfirmationDialog final : public TTwoButtonConfirmationDialog {
public:
  TDeleteConfirmationDialog();
  int LabelCount() const override { return 1; }
  void UpdateLabels() override;
  const wchar_t *ClassName() const override { return L"TDeleteConfirmationDialog"; }

  std::wstring FileName;
  bool OnLeft = false;
  bool ReadOnly = false;
  bool IsDirectory = false;
  // No Recycle Bin takes the item: the question says it goes for good. TooLong: the reason is
  // that its path is too long for the Recycle Bin.
  bool Permanent = false;
  bool TooLong = false;

protected:
  void CreateButtons() override;
};

// An operation failed: Retry, Skip, Compare, Cancel. The question is the failure's message; the
// row is the file.
class TRetrySkipCancelDialog : public TTwoButtonConfirmationDialog {
public:
  TRetrySkipCancelDialog();
  int LabelCount() const override { return 1; }
  void UpdateLabels() override;
  const wchar_t *ClassName() const override { return L"TRetrySkipCancelDialog"; }

  // -1: no text.
  int16_t MessageId = -1;
  std::wstring FileName;

protected:
  explicit TRetrySkipCancelDialog(const GUID &Id);
  void CreateClientControls() override;
  void CreateButtons() override;
};

// A failure about two files: the first file, a second message and the second file.
class TRetrySkipCancelDialog2 final : public TRetrySkipCancelDialog {
public:
  TRetrySkipCancelDialog2();
  int LabelCount() const override { return 3; }
  void UpdateLabels() override;
  const wchar_t *ClassName() const override { return L"TRetrySkipCancelDialog2"; }

  int16_t SecondMessageId = -1;
  std::wstring SecondFileName;
};

// What to do with two files that differ: copy to the left, copy to the right, Skip (the default),
// Compare, Cancel.
class TWhatToDoWithDifferentFilesDialog final : public TConfirmationDialog {
public:
  TWhatToDoWithDifferentFilesDialog();

  TDifferentFilesAnswer Ask();
  static constexpr int LabelCount = 2;
  // Raises EListError "List index out of bounds" outside 0 .. 1.
  TLabel *GetLabelInfo(int Index) const;
  TLabel *GetHeaderLabel() const { return HeaderLabel; }
  TButton *GetFirstButton() const { return FirstButton; }
  TButton *GetSecondButton() const { return SecondButton; }
  TButton *GetSkipButton() const { return SkipButton; }
  void UpdateLabels();

  void ClearControls() override;
  void SetSize(int Width, int Height) override;
  void AdjustSize(int &Width, int &Height) override;
  const wchar_t *ClassName() const override { return L"TWhatToDoWithDifferentFilesDialog"; }

  // The full paths of the two files and their name relative to the compared directories.
  std::wstring RightPath;
  std::wstring LeftPath;
  std::wstring FileName;

protected:
  void CreateClientControls() override;
  void CreateButtons() override;

private:
  TButton *FirstButton = nullptr;
  TButton *SecondButton = nullptr;
  TButton *SkipButton = nullptr;
  TLabel *HeaderLabel = nullptr;
  TSeparator *LabelSeparator = nullptr;
  std::vector<TLabel *> Labels;
};

// Number texts as the confirmation rows and the file information show them, grouped with the
// user's thousands separator: "###,###,###,##0"; 1 000 000 000 000 bytes and more in MiB as
// "###,###,##0 MiB"; a negative size as Unknown.
std::wstring FormatGroupedNumber(int64_t Value);
std::wstring FormatFileSizeText(int64_t Size, const std::wstring &Unknown);
// A day count as "dd.mm.yyyy hh:nn:ss", with the user's time separator.
std::wstring FormatDayCountText(double Days);
