#pragma once

#include "FarButtonDialogs.h"
#include "RunPlan.h"
#include "SynchronizeUI.h"
#include "VelmoraConsts.h"

#include <array>

// The question asked when a differences document is closed: which kinds of differences to act on
// (copy towards either side, delete one-sided items, what to do with differing files), whether to
// run without questions first, and whether remembered answers apply everywhere. Options that
// cannot matter for the document (no difference of the kind they act on) are disabled and
// unchecked. Under the choices, what the run will copy and delete, following the choices as the
// user changes them. Three ways out: synchronise, back to the document, cancel.
class TSynchronizeDirectoriesDialog final : public TOkCancelDialog {
public:
  // The results of ExecuteSynchronize.
  enum TResult { srSynchronize = 0, srBackToDocument = 1, srCancel = 2 };

  TSynchronizeDirectoriesDialog();

  bool GetDiffTypePresent(TDifferenceType DiffType) const { return FDiffTypePresent[DiffType]; }
  void SetDiffTypePresent(TDifferenceType DiffType, bool Value) { FDiffTypePresent[DiffType] = Value; }

  // 0 synchronise, 1 back to the document, 2 cancel (also Esc). The fields are read back from
  // the controls only for 0.
  int ExecuteSynchronize();

  void ClearControls() override;
  void SetSize(int Width, int Height) override;
  // Always 76 x 23.
  void AdjustSize(int &Width, int &Height) override;
  const wchar_t *ClassName() const override { return L"TSynchronizeDirectoriesDialog"; }

  TCheckbox *GetCopyToLeftCheckbox() const { return FCopyToLeftCheck; }
  TCheckbox *GetConfirmOverwriteLeftCheckbox() const { return FConfirmLeftCheck; }
  TCheckbox *GetCopyToRightCheckbox() const { return FCopyToRightCheck; }
  TCheckbox *GetConfirmOverwriteRightCheckbox() const { return FConfirmRightCheck; }
  TCheckbox *GetDeleteOnLeftCheckbox() const { return FDeleteLeftCheck; }
  TCheckbox *GetDeleteOnRightCheckbox() const { return FDeleteRightCheck; }
  TCheckbox *GetSilentModeCheckbox() const { return FSilentCheck; }
  TCheckbox *GetGlobalRememberCheckbox() const { return FGlobalCheck; }
  TRadioButton *GetAskRadio() const { return FAskRadio; }
  TRadioButton *GetSkipRadio() const { return FSkipRadio; }
  TRadioButton *GetCopyToLeftRadio() const { return FCopyLeftRadio; }
  TRadioButton *GetCopyToRightRadio() const { return FCopyRightRadio; }
  TButton *GetBackButton() const { return FBackButton; }
  TLabel *GetCopyToLeftCountLabel() const { return FCopyLeftCount; }
  TLabel *GetCopyToRightCountLabel() const { return FCopyRightCount; }
  TLabel *GetDeleteCountLabel() const { return FDeleteCount; }

  // The choices as the fields hold them.
  TRunChoices GetChoices() const;

  // The document's lines and their measure, for the counts; not owned, null: no counts.
  const TDifferenceList *List = nullptr;
  const TRunPlan *Plan = nullptr;

  bool CopyToLeft = true;
  bool ConfirmOverwriteLeft = true;
  bool CopyToRight = true;
  bool ConfirmOverwriteRight = true;
  bool DeleteOnLeft = false;
  bool DeleteOnRight = false;
  TDifferentFilesAction DifferentFilesAction = dfaAsk;
  bool SilentMode = false;
  bool GlobalRemember = false;

protected:
  void CreateClientControls() override;
  void CreateButtons() override;

private:
  // The counts for the choices on screen; Clicked is the control whose change is being handled
  // (FAR has not changed it yet), with its new state.
  void ShowCounts(const TControl *Clicked = nullptr, int NewState = 0);

  std::array<bool, DifferenceTypeCount> FDiffTypePresent{};

  TLabel *FCopyLabel = nullptr;
  TCheckbox *FCopyToLeftCheck = nullptr;
  TCheckbox *FConfirmLeftCheck = nullptr;
  TCheckbox *FCopyToRightCheck = nullptr;
  TCheckbox *FConfirmRightCheck = nullptr;
  TLabel *FDifferentLabel = nullptr;
  TRadioButton *FAskRadio = nullptr;
  TRadioButton *FSkipRadio = nullptr;
  TRadioButton *FCopyLeftRadio = nullptr;
  TRadioButton *FCopyRightRadio = nullptr;
  TLabel *FDeleteLabel = nullptr;
  TCheckbox *FDeleteLeftCheck = nullptr;
  TCheckbox *FDeleteRightCheck = nullptr;
  TSeparator *FSeparator = nullptr;
  TCheckbox *FSilentCheck = nullptr;
  TCheckbox *FGlobalCheck = nullptr;
  TSeparator *FCountSeparator = nullptr;
  TLabel *FCopyLeftCount = nullptr;
  TLabel *FCopyRightCount = nullptr;
  TLabel *FDeleteCount = nullptr;
  TButton *FBackButton = nullptr;
};
