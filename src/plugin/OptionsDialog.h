#pragma once

#include "FarButtonDialogs.h"

class TVelmoraOptions;

// The configuration dialog: the external compare command and its arguments, the four switches of
// the synchronisation, its four safety nets, the comparison's number of threads, and a button that
// forgets every remembered pair. The other options are edited per run in the comparison dialog.
class TOptionsDialog final : public TOkCancelDialog {
public:
  TOptionsDialog();

  // The options to edit; not owned. Set before Execute.
  TVelmoraOptions *Options = nullptr;

  // Shows the options; on OK re-reads the store (so keys not shown here keep what was saved
  // last), applies the controls and saves. False, with nothing changed or saved, otherwise.
  bool Execute();

  void ClearControls() override;
  // Twenty rows high, as wide as the FAR window minus 4.
  void AdjustSize(int &Width, int &Height) override;
  void SetSize(int Width, int Height) override;
  const wchar_t *ClassName() const override { return L"TOptionsDialog"; }

  TLabel *CommandLabel = nullptr;
  TEdit *CommandEdit = nullptr;
  TLabel *ArgumentsLabel = nullptr;
  TEdit *ArgumentsEdit = nullptr;
  TCheckbox *NTFileNamesCheckbox = nullptr;
  TCheckbox *ShowDescriptionCheckbox = nullptr;
  TCheckbox *SilentModeCheckbox = nullptr;
  TCheckbox *GlobalRememberCheckbox = nullptr;
  TSeparator *SafetySeparator = nullptr;
  TCheckbox *RecycleBinCheckbox = nullptr;
  TCheckbox *VerifyCopiesCheckbox = nullptr;
  TCheckbox *MassDeletionCheckbox = nullptr;
  TCheckbox *FreeSpaceCheckbox = nullptr;
  TLabel *WorkersLabel = nullptr;
  TEdit *WorkersEdit = nullptr;
  TCheckbox *ColourCheckbox = nullptr;
  TCheckbox *RunSummaryCheckbox = nullptr;
  TButton *ForgetPairsButton = nullptr;

protected:
  void CreateClientControls() override;
};
