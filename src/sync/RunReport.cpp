// The end of a run in the user's view: its totals in a message that offers its record in FAR's
// viewer.

#include "SynchronizeDirectories.h"

#include "Confirmations.h"
#include "FarFormat.h"
#include "Options.h"
#include "VelmoraHelp.h"
#include "VelmoraMessages.h"

void TSynchronizeTask::ReportRun() {
  {
    TVelmoraOptions Options;
    Options.Load();
    if (!Options.ShowRunSummary)
      return;
  }
  const TRunLog::TTotals &Totals = FRunLog.GetTotals();
  const std::wstring &LogName = FRunLog.GetFileName();
  std::vector<std::wstring> Lines{
      GetMsg(MTitle),
      Format(GetMsg(MRunSummaryDone), {TRunLog::DurationText(Totals.Milliseconds)}),
      Format(GetMsg(MRunSummaryCopied),
             {FormatGroupedNumber(Totals.Copied), FormatGroupedNumber(Totals.CopiedBytes)}),
      Format(GetMsg(MRunSummaryDeleted),
             {FormatGroupedNumber(Totals.Deleted), FormatGroupedNumber(Totals.Recycled)}),
      Format(GetMsg(MRunSummaryFailed),
             {FormatGroupedNumber(Totals.Failed), FormatGroupedNumber(Totals.Undone)}),
      LogName.empty() ? Format(GetMsg(MRunSummaryNoLog), {FRunLog.GetProblem()})
                      : Format(GetMsg(MRunSummaryLog), {FitToWidth(LogName, 60)}),
      GetMsg(MOk)};
  int Buttons = 1;
  if (!LogName.empty()) {
    Lines.push_back(GetMsg(MViewLog));
    ++Buttons;
  }
  // What did not go well is shown in the warning colours.
  const bool Warn = Totals.Failed > 0 || Totals.Undone > 0 || LogName.empty();
  const intptr_t Answer = ShowMessage(Lines, Warn ? FMSG_WARNING : 0, Buttons, VelmoraHelp::RunLog);
  if (Answer == 1)
    OpenViewer(LogName, GetMsg(MTitle), VF_NONMODAL | VF_IMMEDIATERETURN | VF_DISABLEHISTORY);
}
