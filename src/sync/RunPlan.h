#pragma once

#include "Differences.h"
#include "NameFilter.h"
#include "SynchronizeUI.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the synchronise dialog asks the run to do with each kind of difference.
struct TRunChoices {
  bool CopyToLeft = false;
  bool CopyToRight = false;
  bool DeleteOnLeft = false;
  bool DeleteOnRight = false;
  TDifferentFilesAction DifferentFiles = dfaAsk;
};

// What the run does with one document line under those choices; paAsk: the user is asked.
enum TPlannedAction { paNone, paCopyToLeft, paCopyToRight, paDeleteOnLeft, paDeleteOnRight, paAsk };
TPlannedAction PlannedAction(const TDifferenceItem &Item, const TRunChoices &Choices);

// Files and bytes that copies bring to one side. A copy replacing a file is written beside it
// before the old one goes: the side gains what the new file is larger by (Growth), and while the
// largest replacing copy stands beside its old file it holds Overlap bytes more.
struct TCopyCounts {
  int64_t Files = 0;
  int64_t Bytes = 0;
  int64_t Growth = 0;
  int64_t Overlap = 0;
  // The count was stopped before all of it was measured: the figures are a lower bound.
  bool Partial = false;
};

struct TRunTotals {
  TCopyCounts ToLeft, ToRight;
  // Files and directories a run deletes on each side, everything inside a directory included.
  int64_t DeleteLeft = 0, DeleteRight = 0;
  bool DeleteLeftPartial = false, DeleteRightPartial = false;
};

// The size of a document's run: each line measured once, walking a directory's tree when the
// line is a directory (links are counted, never walked; the masks apply as in the run), so that
// the totals for any choices are sums without touching the disk again. Lines whose differing
// files the user is asked about count for nothing: the answer is not known yet. A line the run
// refuses (a link on its way) counts nothing on that side, a line inside a directory line that
// is done the same way counts once, with the directory, and a directory kept for what the masks
// leave out in it is not counted as deleted.
class TRunPlan {
public:
  // Called every so often with the path being measured; may raise EAbort to stop, which leaves
  // the plan partial (what was measured so far).
  using TTick = std::function<void(const std::wstring &Path)>;

  void Measure(const TDifferenceList &List, const std::wstring &LeftRoot, const std::wstring &RightRoot,
               const TNameFilter &Filter, const TTick &Tick);
  TRunTotals Totals(const TDifferenceList &List, const TRunChoices &Choices) const;
  bool IsPartial() const { return FPartial; }

  // Entries (files and directories) below Root, without Root itself, that the masks let through;
  // the count stops once it passes Limit. -1 when Root cannot be listed.
  static int64_t CountEntries(const std::wstring &Root, const TNameFilter &Filter, int64_t Limit);

private:
  // What a line brings to a side when copied there, and what deleting it on a side removes.
  struct TItemMeasure {
    TCopyCounts ToLeft, ToRight;
    int64_t DeleteLeft = 0, DeleteRight = 0;
    bool Measured = false;
    // The lines of directories this line lies in.
    std::vector<size_t> Ancestors;
  };
  std::vector<TItemMeasure> FItems;
  bool FPartial = false;
};
