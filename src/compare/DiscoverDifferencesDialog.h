#pragma once

#include "FarButtonDialogs.h"
#include "Options.h"

class TFarPanel;

// The dialog every comparison run shows first: the comparison options loaded from the settings,
// changed for this run. Options receives what the user ticked (what the settings store gets);
// WorkingOptions what the run really uses, where a disabled or orphaned option counts as off.
class TDiscoverDifferencesDialog final : public TOkCancelDialog {
public:
  TDiscoverDifferencesDialog();

  // Set by the caller before EditOptions; not owned.
  TVelmoraOptions *Options = nullptr;
  TFarPanel *LeftPanel = nullptr;
  TFarPanel *RightPanel = nullptr;

  // After a confirmed dialog: the values the run uses.
  TVelmoraOptions &GetWorkingOptions() { return WorkingOptions; }

  // Shows the dialog; on OK stores the controls into Options (as ticked) and WorkingOptions
  // (as effective). False, with nothing changed, on Cancel or Esc.
  bool EditOptions();
  void LoadControls();
  // Raw: every option as its box is ticked. Otherwise an option is on only when its box is ticked
  // and enabled and the option it depends on is on.
  void StoreControls(TVelmoraOptions &Target, bool Raw);
  // Recomputes the enabled states. While a click is being handled FAR has not yet changed the
  // clicked box, so its new state is passed in.
  void RefreshEnabling(TControl *ClickedControl = nullptr, int NewState = 0);

  void ClearControls() override;
  // 66 columns by 25 rows.
  void AdjustSize(int &Width, int &Height) override;
  void SetSize(int Width, int Height) override;
  const wchar_t *ClassName() const override { return L"TDiscoverDifferencesDialog"; }

  TLabel *ScanLabel = nullptr;
  TCheckbox *ProcessSubfoldersCheckbox = nullptr;
  TCheckbox *UseMaxScanDepthCheckbox = nullptr;
  TEdit *MaxScanDepthEdit = nullptr;
  TCheckbox *ProcessSelectedCheckbox = nullptr;
  TLabel *IncludeMasksLabel = nullptr;
  TEdit *IncludeMasksEdit = nullptr;
  TLabel *ExcludeMasksLabel = nullptr;
  TEdit *ExcludeMasksEdit = nullptr;
  TSeparator *ScanSeparator = nullptr;
  TLabel *CompareLabel = nullptr;
  TCheckbox *CompareFileNameCaseCheckbox = nullptr;
  TCheckbox *CompareTimeCheckbox = nullptr;
  TCheckbox *LowPrecisionTimeCheckbox = nullptr;
  TCheckbox *IgnoreTimeZoneCheckbox = nullptr;
  TCheckbox *CompareSizeCheckbox = nullptr;
  TCheckbox *CompareContentsCheckbox = nullptr;
  TCheckbox *CompareContentsIgnoreCheckbox = nullptr;
  TRadioButton *IgnoreNewLinesRadio = nullptr;
  TRadioButton *IgnoreWhitespaceRadio = nullptr;
  TSeparator *SelectSeparator = nullptr;
  TCheckbox *SelectBothCheckbox = nullptr;
  TCheckbox *RememberPairCheckbox = nullptr;

protected:
  void CreateClientControls() override;
  // OK with masks FAR does not accept shows which and keeps the dialog open.
  bool CloseQuery(intptr_t ExitCode) override;

private:
  bool AnyPluginPanel() const;
  bool AnySelected() const;
  // The state of Box as it will be once the click being handled has gone through.
  bool EffectivelyChecked(const TCheckbox *Box, const TControl *ClickedControl, int NewState) const;

  TVelmoraOptions WorkingOptions;
};
