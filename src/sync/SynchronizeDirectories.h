#pragma once

#include "Differences.h"
#include "FarEditor.h"
#include "FarProgress.h"
#include "Files.h"
#include "NameFilter.h"
#include "RunLog.h"
#include "RunPlan.h"

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>
#include <windows.h>

class TPairMemory;
class TSynchronizeUI;
class TSynchronizeDirectoriesDialog;
class TVisitedDirectories;

VELMORA_DECLARE_EXCEPTION(ESynchronizeTaskError, Exception);

// The differences document: a temporary UTF-8 file with one line per difference between the two
// directories, shown in FAR's editor, where the user edits it and runs the document's commands on
// the line under the cursor. Closing the editor synchronises the two trees from what the file
// then says; whatever was not done is offered again in a new document.
//
// Ownership: the creator owns the object until ShowDocument succeeded and it handed the object to
// the managed-editor registry (Adopt); from then on the registry frees it with its window.
class TSynchronizeTask : public TFarEditorManaged {
public:
  // Document commands, as the keys, the command menu and the macro commands number them.
  enum TCommand {
    scChangeToLeft = 1,
    scChangeToRight = 2,
    scCompare = 3,
    scEditLeft = 4,
    scEditRight = 5,
    scFileInfo = 6,
    scGotoLeft = 7,
    scGotoRight = 8,
    scNextLeft = 9,
    scNextRight = 10,
    scDeleteLeft = 11,
    scDeleteRight = 12,
    // Only as a macro command: the next difference on either side.
    scNextEither = 13,
  };

  // Writes the header of a fresh document into a new temporary file. Raises (and leaves no file)
  // when FAR gives no temporary name or the header cannot be written. Filter: the masks of the
  // comparison; the run copies and deletes nothing they leave out.
  TSynchronizeTask(const std::wstring &LeftDir, const std::wstring &RightDir, const TNameFilter &Filter = {});
  ~TSynchronizeTask() override;

  // Opens the document in FAR's editor; false when FAR did not open it.
  bool ShowDocument(bool PositionOnFirstDifference);
  // Reads the document back, asks what to do and carries it out. KeepOpen tells whether the
  // document must stay open (the user went back to it, or it could not be read). True when a
  // run took place. Reports its own errors; never raises.
  bool Synchronize(bool &KeepOpen);
  // Command 1 to 13 on this document's line under the cursor; false when it did nothing (any
  // other number, a line that is no difference, an editor FAR does not describe).
  bool ExecuteCommand(int Number);
  // The menu of the ten commands; cancelling it does nothing.
  void ShowCommandMenu();
  // The document shown in that editor window (-1: FAR's current editor); null when the window
  // holds no differences document.
  static TSynchronizeTask *FindForEditor(intptr_t EditorId);
  static bool FindForEditor(intptr_t EditorId, TSynchronizeTask *&Task);

  // A remembered pair: the run keeps its state in step with what was done. Null: no memory.
  void SetMemory(std::shared_ptr<TPairMemory> Memory) { FMemory = std::move(Memory); }
  const std::shared_ptr<TPairMemory> &GetMemory() const { return FMemory; }

  const std::wstring &GetLeftDirectory() const { return FLeftDirectory; }
  const std::wstring &GetRightDirectory() const { return FRightDirectory; }
  const TNameFilter &GetNameFilter() const { return FFilter; }
  TSynchronizeUI &GetSynchronizeUI() const { return *FSynchronizeUI; }
  const std::wstring &GetCopySource() const { return FCopySource; }
  const std::wstring &GetCopyTarget() const { return FCopyTarget; }
  bool GetCopyCancelled() const { return FCopyCancelled; }
  TFarProgress *GetProgress() const { return FProgress.get(); }

  // ---- The operations of a run. All return true when the item was done; none raises except
  // EAbort (the user cancelled a question or the progress window) ----

  // Copies the directory Source to Target with everything in it. ToLeft: the target is on the
  // left. Visited: the chain of the walk, null to start a new one.
  bool CopyDirectoryTree(const std::wstring &RelativeName, const std::wstring &Source,
                         const std::wstring &Target, bool ToLeft, TVisitedDirectories *Visited);
  // One file, asking before an overwrite and after a failure.
  bool CopyFileConfirmed(const std::wstring &Source, const std::wstring &Target, bool ToLeft);
  // CopyFileConfirmed with the global overwrite answer for the target side set to "yes".
  bool CopyFileOverwriting(const std::wstring &Source, const std::wstring &Target, bool ToLeft);
  // One copy attempt. The copy goes to a temporary name beside the target and takes the
  // target's place in one step once complete, so whatever fails, the target holds either its
  // old or its new contents. The result carries the source's name case and attributes.
  // LastError is the system's error of a failed attempt. Raises EAbort when the user cancelled
  // the copy. (May ask where the finished copy could not take its name.)
  bool CopyOneFile(const std::wstring &Source, const std::wstring &Target, DWORD &LastError);
  bool RemoveFile(const std::wstring &Path, bool OnLeft);
  // A link's contents are never walked: the link itself is removed, never what it leads to.
  bool RemoveDirectoryTree(const std::wstring &Path, bool OnLeft);
  // Whether the path exists, and its attributes.
  static bool QueryAttributes(const std::wstring &Path, DWORD &Attributes);

  // Updates the progress window when it is due. Label2 -1: no second label.
  void ShowProgress(const std::wstring &Path1, const std::wstring &Path2, int64_t Done, int64_t Total,
                    int Label1, int Label2);
  // The next update repaints the progress window at once (after a question painted over it).
  void ForceProgressRedraw();
  // Asks whether the run is to be aborted; true to abort.
  bool ConfirmAbort();

  // The system's file copy (CopyFileExW), or a test's stand-in with the same contract: the
  // progress routine called as the data goes, PROGRESS_CANCEL ending the copy with the partial
  // target removed. Null restores the system's copy.
  using TCopyFileFunction = BOOL(WINAPI *)(LPCWSTR ExistingFileName, LPCWSTR NewFileName,
                                           LPPROGRESS_ROUTINE ProgressRoutine, LPVOID Data, LPBOOL Cancel,
                                           DWORD CopyFlags);
  static void SetCopyFileFunction(TCopyFileFunction Function);
  // The system's rename (MoveFileExW) or a test's stand-in; null restores the system's.
  using TMoveFileFunction = BOOL(WINAPI *)(LPCWSTR ExistingFileName, LPCWSTR NewFileName, DWORD Flags);
  static void SetMoveFileFunction(TMoveFileFunction Function);
  // Whether the volume of a path keeps a Recycle Bin (a fixed disk does; a network share, a
  // removable disk or a RAM disk does not), or a test's stand-in; null restores the probe.
  using TRecycleBinProbe = bool (*)(const std::wstring &Path);
  static void SetRecycleBinProbe(TRecycleBinProbe Probe);
  // Moves a file or a whole tree to the Recycle Bin (RecycleWithShell), or a test's stand-in.
  using TRecycleFunction = TRecycleResult (*)(const std::wstring &Path);
  static void SetRecycleFunction(TRecycleFunction Function);

  // Whether a document line's path may be joined to the roots: relative, no empty, "." or ".."
  // component, no drive, stream or wildcard characters, no control characters.
  static bool IsSafeRelativePath(const std::wstring &Path);

protected:
  void EditorClosing(bool &FreeObject, intptr_t &Result) override;
  void EditorShown() override;
  void EditorRedraw() override;
  bool ProcessKey(const KEY_EVENT_RECORD &Key) override;

private:
  // The item under the cursor; false when the line is no difference line.
  bool CurrentItem(TDifferenceItem &Item) const;
  bool ChangeDirection(bool ToLeft);
  // The line under the cursor deletes the entry on that side, where the entry is there.
  bool MarkDeletion(bool OnLeft);
  // The run is over (Undone: what it left): the remembered pair's state follows it.
  void RememberRun(const std::vector<TDifferenceItem> &Before, const TDifferenceList &Undone);
  bool NextDifference(bool Left);
  bool NextDifferenceWhere(bool (*Concerns)(TDifferenceType));
  bool EditFile(bool Left);
  bool GotoFile(bool Left);
  bool ShowFileInfo();
  bool CompareFiles();

  // Carries out one item as the dialog's choices say; true when it was done.
  bool SynchronizeItem(const TDifferenceItem &Item, const TRunChoices &Choices);
  // The whole run after the dialog; leaves undone items in List. Totals: what the run is
  // expected to do, for its progress.
  void RunPasses(TDifferenceList &List, const TRunChoices &Choices, const TRunTotals &Totals);
  // Measures the document's lines for the dialog, in a progress window that Esc stops.
  void MeasureRun(const TDifferenceList &List, TRunPlan &Plan);
  // The warnings before a run that deletes much or overfills a disk. 0 go on, 1 back to the
  // document, 2 cancel.
  int ConfirmSafety(const TRunTotals &Totals);
  void OfferRemaining(const TDifferenceList &List);
  // Carries out the item with that action, whatever its kind.
  bool CarryOut(const TDifferenceItem &Item, TPlannedAction Action);
  bool CopyItem(const TDifferenceItem &Item, bool ToLeft);
  bool CopyItemOverwriting(const TDifferenceItem &Item, bool ToLeft);
  bool RemoveItem(const TDifferenceItem &Item, bool OnLeft);

  // Entries inside a directory item that were not done. They take the item's place in the
  // document, each as a line of its own, so that the next pass or run does exactly those.
  struct TUndoneEntries {
    std::wstring Root; // where the entries' paths start, with a trailing backslash
    TDifferenceType DiffType = dtEqual;
    TDifferenceReason Reason = drNone;
    TPlannedAction Action = paNone; // what was done with the directory
    std::vector<TDifferenceItem> Items;
  };
  void NoteUndone(const std::wstring &Path, bool IsDirectory);
  // A copy stopped (Esc, Cancel, an exception) while a level was walked: notes as undone the entry
  // in hand (unless its own walk noted what it left since UndoneBefore) and the rest of Search.
  void NoteRestOfLevel(HANDLE Search, WIN32_FIND_DATAW &Found, const std::wstring &TargetDir,
                       size_t UndoneBefore);
  size_t UndoneCount() const;
  void ForgetUndoneFrom(size_t Count);

  // The first directory on the way from Root to the item that is a link (a junction, a symbolic
  // link, a mount point); empty when there is none.
  std::wstring LinkOnTheWay(const std::wstring &Root, const std::wstring &RelativePath);
  // Asks for as long as the item's path leads through a link; false: leave the item alone.
  bool NoLinkOnTheWay(const std::wstring &Root, const std::wstring &RelativePath);

  // A fresh name beside the target for a copy in progress; no file-system call.
  std::wstring NextTemporaryName(const std::wstring &Directory);
  // The finished copy takes the target's place; false (with LastError) when it could not.
  // NameKept: the target is known to have the copy's name already, letter case and all.
  bool PutCopyInPlace(const std::wstring &Partial, const std::wstring &Target, bool TargetExists,
                      DWORD TargetAttributes, bool NameKept, DWORD &LastError);
  // Target is the source or lies inside it (through links and letter case as far as they exist);
  // SourceKey is the source's key in a visited-directories chain.
  static bool TargetInsideSource(const std::wstring &SourceKey, const std::wstring &Target);

  // The operations of a copy, given what the source's listing already told (null: nothing).
  // Building: where the entry is written inside a directory being built under a temporary name
  // (null: straight to Target, which may exist).
  bool CopyListedFile(const std::wstring &Source, const std::wstring &Target, bool ToLeft,
                      const WIN32_FIND_DATAW *Listed, const std::wstring *Building);
  bool CopyKnownFile(const std::wstring &Source, const std::wstring &Target, const WIN32_FIND_DATAW *Listed,
                     bool TargetExists, DWORD TargetAttributes, DWORD &LastError);
  bool CopyIntoBuilding(const std::wstring &Source, const std::wstring &Building, const std::wstring &Target,
                        const WIN32_FIND_DATAW *Listed, DWORD &LastError);
  bool CopyListedTree(const std::wstring &RelativeName, const std::wstring &Source,
                      const std::wstring &Target, bool ToLeft, TVisitedDirectories &Visited,
                      const std::wstring &SourceKey, const WIN32_FIND_DATAW *Listed,
                      const std::wstring *Building);
  // Builds a missing Target under a temporary name and gives it its name; false when that could
  // not be done (nothing of it is left then). Done: whether its listing was walked.
  bool CopyTreeBuilt(const std::wstring &RelativeName, const std::wstring &Source, const std::wstring &Target,
                     bool ToLeft, TVisitedDirectories &Visited, const std::wstring &SourceKey,
                     DWORD SourceAttributes, bool &Done);
  // Copies the entries of one directory; false when its listing failed.
  bool CopyTreeLevel(const std::wstring &RelativeName, const std::wstring &Source, const std::wstring &Target,
                     bool ToLeft, TVisitedDirectories &Visited, const std::wstring &SourceKey,
                     const std::wstring *Building);
  // The read-only, hidden, system and archive attributes of the source directory, on the target.
  static void CarryDirectoryAttributes(const std::wstring &Target, DWORD TargetAttributes,
                                       DWORD SourceAttributes);
  // How an entry about to be deleted goes: into the Recycle Bin (done, or failed), for good (as
  // the options say, or as the user agreed where there is no Recycle Bin), not at all (the user
  // declined), or entry by entry into the Recycle Bin (a tree not Whole: the masks keep part).
  enum TRecycleOutcome { roRecycled, roFailed, roPermanent, roDeclined, roWalk };
  TRecycleOutcome Recycle(const std::wstring &Path, bool OnLeft, bool IsDirectory, bool Whole);
  // Reads the copy back and compares it with the source; false on any difference or failure.
  bool VerifyCopy(const std::wstring &Source, const std::wstring &Copy);
  // With verified copies on: a copy that does not read back as its source fails with LastError
  // saying so.
  bool VerifiedOrRemoved(const std::wstring &Source, const std::wstring &Copy, DWORD &LastError);
  // The copy of the listed source stands complete at Copy: its attributes, and the run's progress.
  // Target: the name the log gives the copy; Replaced: it took the place of an existing file.
  void CopyCompleted(const std::wstring &Copy, const WIN32_FIND_DATAW &Listed, const std::wstring &Target,
                     bool Replaced);
  // A file of Bytes was copied or an entry deleted: the whole run's progress moves on.
  void EntryDone(int64_t Bytes) {
    ++FRun.FilesDone;
    FRun.BytesDone += Bytes;
    FRun.CurrentBytes = 0;
  }
  // Removes a directory this run built and could not give its name.
  static void RemoveBuiltTree(const std::wstring &Path);
  // After a system copy failed: raises what the progress routine could not hand through it, or
  // EAbort when the user stopped the copy.
  void PassOnCopyInterruption();

  static DWORD CALLBACK CopyProgressRoutine(LARGE_INTEGER TotalFileSize, LARGE_INTEGER TotalBytesTransferred,
                                            LARGE_INTEGER StreamSize, LARGE_INTEGER StreamBytesTransferred,
                                            DWORD StreamNumber, DWORD CallbackReason, HANDLE SourceFile,
                                            HANDLE DestinationFile, LPVOID Data);

  std::wstring FLeftDirectory;
  std::wstring FRightDirectory;
  TNameFilter FFilter;
  std::shared_ptr<TPairMemory> FMemory;
  std::unique_ptr<TFarProgress> FProgress;
  std::wstring FCopySource;
  std::wstring FCopyTarget;
  bool FCopyCancelled = false;
  // What the console title and the taskbar show when the progress window is next drawn: the item
  // (or directory) being worked on, and how far the pass is.
  std::wstring FProgressItem;
  int64_t FPassDone = 0, FPassTotal = 0;
  // What the copy progress routine could not hand through the system's copy.
  std::exception_ptr FCopyFailure;
  unsigned FTemporaryCounter = 0;
  // The whole run: what it is expected to do, what it did, and when it began.
  struct TRunProgress {
    int64_t Files = 0, Bytes = 0;
    int64_t FilesDone = 0, BytesDone = 0, CurrentBytes = 0;
    uint64_t Started = 0;
  } FRun;
  // The nets of this run, from the options.
  bool FRecycle = false;
  bool FVerify = false;
  // Inside a tree the user agreed to delete for good: its entries are not asked about again.
  bool FPermanentAgreed = false;
  // The directory RemoveDirectoryTree last refused to remove stays for what the masks leave out.
  bool FKeptForMasks = false;
  // Per side (0 left): whether its volume keeps a Recycle Bin, -1 not yet known.
  int FHasRecycleBin[2] = {-1, -1};
  // The read-back buffers of a verified copy, made once per run.
  struct TVirtualFree {
    void operator()(void *Memory) const { ::VirtualFree(Memory, 0, MEM_RELEASE); }
  };
  std::unique_ptr<char, TVirtualFree> FVerifyBuffer;
  TUndoneEntries *FUndone = nullptr;
  // Directories of this pass known not to be links.
  std::unordered_set<std::wstring> FPlainDirectories;
  // One directory's entries, listed once for the single-file copies out of it (0) or into it (1)
  // that follow one another, instead of a look-up per file. A directory is listed the second
  // time in a row a copy asks about it, and forgotten whenever the run changes it otherwise than
  // by such copies, and before every question (the user may change anything meanwhile).
  struct TListedDirectory {
    std::wstring Directory, LastAsked;                          // upper case, with the trailing backslash
    std::unordered_map<std::wstring, WIN32_FIND_DATAW> Entries; // by their exact names
    void Forget() {
      Directory.clear();
      Entries.clear();
    }
  };
  TListedDirectory FListed[2];
  // The entry of Path as its directory was listed, under Path's exact name; null when it is not
  // known that way (then the file is looked up on its own).
  const WIN32_FIND_DATAW *ListedEntry(TListedDirectory &Listing, const std::wstring &Path);
  void ForgetListings() {
    FListed[0].Forget();
    FListed[1].Forget();
  }
  // Around what changes directories otherwise (deletions, tree copies): nothing listed before or
  // during it is used after it.
  class TListingsScope {
  public:
    explicit TListingsScope(TSynchronizeTask &Task) : FTask(Task) { FTask.ForgetListings(); }
    ~TListingsScope() { FTask.ForgetListings(); }
    TListingsScope(const TListingsScope &) = delete;
    TListingsScope &operator=(const TListingsScope &) = delete;

  private:
    TSynchronizeTask &FTask;
  };
  std::unique_ptr<TSynchronizeUI> FSynchronizeUI;
  // The document is coloured by its markers (the option, as the document was made).
  bool FColoured = true;
  // The record of the run in progress.
  TRunLog FRunLog;
  // The totals of the run and its record in a message, offering the record in FAR's viewer.
  void ReportRun();

public:
  // The record of the last run of this document.
  const TRunLog &GetRunLog() const { return FRunLog; }
};
