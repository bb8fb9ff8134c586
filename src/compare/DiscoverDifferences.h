#pragma once

#include "CompareRules.h"
#include "FarPanel.h"
#include "FarPlugin.h"
#include "FarProgress.h"
#include "FileInfo.h"
#include "ListingService.h"
#include "NameFilter.h"
#include "Options.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TPairMemory;
class TSynchronizeTask;
class TTextStream;
class TVisitedDirectories;

// The comparison run started from the plug-ins menu of a file panel: takes the two panels (left
// and right by screen side), lets the user confirm the options, walks both directories in
// parallel writing one line per difference into a new differences document, selects the differing
// items on both panels, and opens the document in FAR's editor (or says that nothing differs).
//
// One object serves one run: construct, Run, destroy.
class TDiscoverDifferences : public TFarCommonModule {
public:
  TDiscoverDifferences();
  ~TDiscoverDifferences() override;
  TDiscoverDifferences(const TDiscoverDifferences &) = delete;
  TDiscoverDifferences &operator=(const TDiscoverDifferences &) = delete;

  // The whole run; reports its own errors (an abort silently). Always 0: no panel is opened.
  intptr_t Run();

  // Snapshots of both panels with their items; the one on the left of the screen is LeftPanel.
  void SelectPanels();
  // Whether the panel can be walked as a directory of the file system. A plug-in's panel counts
  // only when it shows real names and its directory is an existing absolute path: the directory
  // of an archive or a remote site would otherwise be taken relative to the current directory.
  static bool IsFilePanel(const TFarPanel &Panel);
  // A plug-in's file panel that is no directory of the file system (an archive, a remote site):
  // only its own items can be compared, and only a selection can come of it.
  static bool IsVirtualPanel(const TFarPanel &Panel);
  // The comparison dialog; on OK the settings store receives what the user ticked and the run
  // uses what is in effect. False when the user cancelled.
  bool AskOptions();

  // The walk. Found is set as soon as anything different was recorded at that level or below.
  void ComparePanels(TFarPanel &Left, TFarPanel &Right, int32_t Depth, bool ProcessSelectedOnly, bool &Found);
  // One directory level: both lists merged by name (case-insensitive, the user's locale).
  void CompareLists(TFileInfoList &LeftList, TFileInfoList &RightList, const std::wstring &LeftRoot,
                    const std::wstring &RightRoot, const std::wstring &RelativeDir, int32_t Depth,
                    bool &Found);
  // Two entries of the same name.
  void CompareItems(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo, const std::wstring &LeftRoot,
                    const std::wstring &RightRoot, const std::wstring &RelativeDir, const std::wstring &Name,
                    int32_t Depth, bool &Found);
  // Two directories of the same name: descended unless the depth is used up, both are one and
  // the same directory, or one of them leads back into a directory being walked.
  void CompareDirectories(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo, const std::wstring &LeftRoot,
                          const std::wstring &RightRoot, const std::wstring &RelativeDir,
                          const std::wstring &Name, int32_t Depth, bool &Found);
  // Two files of the same name, judged by the comparison rules.
  void CompareFiles(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo, const std::wstring &LeftRoot,
                    const std::wstring &RightRoot, const std::wstring &RelativeDir, const std::wstring &Name,
                    bool &Found);
  // An entry on one side only, judged against the pair's memory when there is one.
  void AddOneSided(const TBaseFileInfo &Info, bool OnLeft, const std::wstring &SideRoot,
                   const std::wstring &RelativeDir);
  // With "Remember this pair" on: the pair's state is loaded and the document says what it knows.
  void StartMemory();
  // With it off and a state kept for this pair: the user may forget it.
  void OfferToForget();
  // One line of the document; dtEqual writes nothing.
  void AddDifference(TDifferenceType DiffType, TDifferenceReason Reason, const std::wstring &RelativeDir,
                     const std::wstring &Name, bool IsDirectory);
  // Redraws the progress window when it is due (and looks for Esc then).
  void ShowProgress(const std::wstring &LeftText, const std::wstring &RightText, int64_t Done, int64_t Total);
  // Esc in the progress window: Abort stays set only when the user confirms.
  void ConfirmAbort(TFarProgress &Sender, bool &Abort);
  // Opens the document (true: the editor owns it now), synchronises at once when FAR cannot open
  // the editor, or says that nothing differs.
  bool FinishRun(bool Found);
  // A plug-in panel without real names on a side: the panels' own items compared by name, size and
  // time, the differing ones selected on both panels, and the user told how many; no document.
  void SelectDifferencesOnly();

  TFarPanel *GetLeftPanel() const { return LeftPanel.get(); }
  TFarPanel *GetRightPanel() const { return RightPanel.get(); }
  TVelmoraOptions &GetOptions() { return Options; }

private:
  // The real location of a subdirectory of the level whose real path is LevelReal.
  static std::wstring SubdirectoryRealPath(const TBaseFileInfo &Info, const std::wstring &Path,
                                           const std::wstring &LevelReal);
  // What the walk of one level will ask of the file system, in order, for the workers to do ahead.
  std::vector<TListingService::TRequest>
  RequestsAhead(const TFileInfoList &LeftList, const TFileInfoList &RightList, const std::wstring &LeftRoot,
                const std::wstring &RightRoot, const std::wstring &RelativeDir, int32_t Depth) const;

  std::unique_ptr<TFarPanel> LeftPanel;
  std::unique_ptr<TFarPanel> RightPanel;
  TVelmoraOptions Options;
  std::unique_ptr<TSynchronizeTask> Task;
  std::unique_ptr<TTextStream> Output;
  std::unique_ptr<TVisitedDirectories> LeftVisited;
  std::unique_ptr<TVisitedDirectories> RightVisited;
  std::unique_ptr<TFarProgress> Progress;
  // Where the directory level being compared really is, on each side.
  std::wstring LeftLevelReal;
  std::wstring RightLevelReal;
  // Holds the two read buffers of the contents comparison for the whole run.
  TCompareRules Rules;
  // The masks of the run.
  TNameFilter Filter;
  // Differences found by a run that only selects them (no document to write them to).
  size_t SelectedDifferences = 0;
  // The relative directory being compared.
  std::wstring CurrentDirectory;
  // The remembered pair's state (null without "Remember this pair").
  std::shared_ptr<TPairMemory> Memory;
  // The walk's file-system work while it lasts (listings and small files done ahead).
  TListingService *Listing = nullptr;
  // What the progress window shows: its two texts, and the walk's counts since it started.
  std::wstring ShownLeft;
  std::wstring ShownRight;
  int64_t EntriesCompared = 0;
  int64_t DifferencesFound = 0;
  DWORD WalkStarted = 0;
};
