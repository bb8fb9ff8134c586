#pragma once

#include "Blocks.h"
#include "CompareRules.h"
#include "Differences.h"
#include "Exceptions.h"
#include "FileInfo.h"
#include "NameFilter.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class TTextStream;

VELMORA_DECLARE_EXCEPTION(EPairStateError, Exception);

// What a remembered pair knows of one entry: it was equal on both sides when the last run ended.
struct TPairRecord {
  bool IsDirectory = false;
  // The contents were compared (or the entry was copied) and found equal.
  bool ContentsEqual = false;
  int64_t Size = 0;
  // The last-write time as the comparison reads it (a day count).
  double Time = 0;
};

// The state file of one pair of directories: the entries that were equal on both sides after the
// last run, by relative path. The pair is the same whichever panel shows which directory. The file
// format is described in docs/pair-state.md.
class TPairState {
public:
  enum TStatus { psMissing, psLoaded, psDamaged };

  // The roots in any form the file system accepts; letter case and a trailing backslash aside,
  // the same two roots in either order name the same state.
  TPairState(const std::wstring &LeftRoot, const std::wstring &RightRoot);

  // %FARLOCALPROFILE%\PluginsData\<plug-in GUID>; empty when FAR told no profile.
  static std::wstring DataFolder();
  const std::wstring &GetFileName() const { return FFileName; }

  // Replaces the records with the file's. A missing, damaged or foreign file leaves no record;
  // never raises.
  TStatus Load();
  // Writes the records under a temporary name that then replaces the file; raises EPairStateError.
  void Save();
  // Removes the file; true when there is none any more.
  bool Forget();
  // The state files of every pair remembered.
  static std::vector<std::wstring> RememberedFiles();
  bool FileExists() const;

  // When the pair was last synchronised (UTC, as FILETIME counts it); 0: never.
  uint64_t GetLastSynchronized() const { return FLastSynchronized; }
  void SetLastSynchronized(uint64_t Value) { FLastSynchronized = Value; }

  // Lookups take the directory and the name apart, so that judging an entry builds no string.
  const TPairRecord *Find(const std::wstring &RelativePath) const {
    return Find(RelativePath, std::wstring());
  }
  const TPairRecord *Find(const std::wstring &RelativeDir, const std::wstring &Name) const;
  void Record(const std::wstring &RelativePath, const TPairRecord &Record);
  // The entry and, for a directory, everything recorded below it.
  void Remove(const std::wstring &RelativePath);
  size_t Count() const { return FLive; }
  void Clear();

  // The lookup key of a relative path (letter case aside).
  static std::wstring Key(const std::wstring &RelativePath);
  // A hash of a key, the same for the same key in any letter case.
  static uint64_t KeyHash(std::wstring_view Key);

  // ---- What a comparison marks, and the records it has not marked ----
  enum TMark : uint8_t { pmListed = 1, pmSeen = 2 };
  // Marks the entry when it is recorded; false when it is not.
  bool Mark(const std::wstring &RelativeDir, const std::wstring &Name, uint8_t Mark);
  // Records the entry as seen equal now.
  void RecordSeen(const std::wstring &RelativeDir, const std::wstring &Name, const TPairRecord &Record);
  void RecordSeen(std::wstring_view RelativePath, const TPairRecord &Record);
  // Calls Visit(Key, Record, Marks) for each record; true from Visit removes the record. The marks
  // are cleared.
  template <class TVisit> void Sweep(TVisit Visit) {
    for (size_t Index = 0; Index < FEntries.size(); ++Index)
      if (TEntry &Entry = FEntries[Index]; Entry.Live) {
        if (Visit(KeyOf(Entry), Entry.Record, Entry.Marks)) {
          Entry.Live = false;
          --FLive;
        }
        Entry.Marks = 0;
      }
  }

private:
  // Records are kept flat: the keys one after another, an open-addressing index over the entries,
  // so that loading and judging make no allocation per entry, and all in blocks that earlier
  // comparisons left to the heap.
  struct TEntry {
    uint32_t Offset = 0, Length = 0;
    TPairRecord Record;
    bool Live = true;
    uint8_t Marks = 0;
  };
  // The upper-cased path in the probe buffer.
  std::wstring_view KeyOf(const TEntry &Entry) const { return FKeys.View(Entry.Offset, Entry.Length); }
  const std::wstring &Probe(std::wstring_view RelativeDir, std::wstring_view Name) const;
  TEntry *Lookup(std::wstring_view Key) const { return Lookup(Key, KeyHash(Key)); }
  TEntry *Lookup(std::wstring_view Key, uint64_t Hash) const;
  void Insert(std::wstring_view Key, const TPairRecord &Record, uint8_t Marks);
  void Place(uint32_t Index, uint64_t Hash);
  void Reindex(size_t Entries);

  std::wstring FFirstRoot, FSecondRoot, FFileName;
  uint64_t FLastSynchronized = 0;
  TTextBlocks FKeys;
  mutable TBlockArray<TEntry> FEntries;
  TBlockArray<uint32_t> FSlots; // entry index + 1; 0 is free
  size_t FLive = 0;
  mutable std::wstring FProbe;
};

// The comparison's and the run's questions to a pair's memory. The comparison judges entries with
// it and tells it what it found equal and which levels it walked; the run tells it what was done,
// and it keeps the state in step and saves it.
class TPairMemory {
public:
  struct TRules {
    bool CompareSize = true;
    bool CompareTime = true;
    bool LowPrecisionTime = true;
    bool IgnoreTimeZone = true;
    bool CompareContents = false;
    bool ProcessSelected = false;
    // A difference selects the entry on both panels.
    bool SelectBoth = false;
    // The document's header shows the legend of the markers.
    bool Legend = false;
  };

  TPairMemory(const std::wstring &LeftRoot, const std::wstring &RightRoot, const TRules &Rules,
              const TNameFilter &Filter);
  ~TPairMemory();
  TPairMemory(const TPairMemory &) = delete;
  TPairMemory &operator=(const TPairMemory &) = delete;

  TPairState::TStatus GetStatus() const { return FStatus; }
  TPairState &GetState() { return FState; }
  // The document's header lines about the pair, with the legend of the deletion markers and the
  // reason codes of memory when the document shows its legend.
  std::vector<std::wstring> HeaderLines() const;
  // Those lines and an empty one.
  void WriteHeader(TTextStream &Stream) const;

  // ---- The comparison ----
  // Reads the state on a worker thread, which makes file-system calls only, while the walk goes
  // on. Every line of the document then passes through here to Write, in the walk's order: the
  // header first, once the state is read, and until then the lines wait with what judging them
  // needs.
  void StartLoading(std::function<void(const std::wstring &Line)> Write);
  // Both sides of this level were listed: what is recorded in it and no longer found is gone.
  void NoteLevel(const std::wstring &RelativeDir);
  // A line that memory does not judge.
  void Add(const TDifferenceItem &Item);
  // An entry on one side only (SideRoot: the root of that side). A directory recorded and
  // unchanged may give a line for each entry inside it.
  void AddOneSided(const TBaseFileInfo &Info, bool OnLeft, const std::wstring &SideRoot,
                   const std::wstring &RelativeDir);
  // Two files of the same name, as the rules judged them: equal ones are recorded, differing ones
  // may be judged again by what changed since the last run. At the top level the judgement moves
  // the entries' selection, so the two entries must outlive the walk.
  void AddPair(TBaseFileInfo &LeftInfo, TBaseFileInfo &RightInfo, const std::wstring &RelativeDir,
               const std::wstring &Name, const TFileComparison &Result);
  void NoteEqualDirectory(const std::wstring &RelativeDir, const std::wstring &Name,
                          const TBaseFileInfo &Info);
  // The walk is over: waits for the state and writes what waited for it.
  void FinishWalk();
  // The walk is over: the state holds what the comparison found, and the old records of what
  // the document lists.
  void FinishComparison();

  // ---- The run ----
  // Before: the document's lines when the run started; Undone: what is left of them. What was
  // done is looked at again on disk and recorded as it now is; then the state is saved (raises
  // EPairStateError when it cannot be).
  void FinishRun(const std::vector<TDifferenceItem> &Before, const TDifferenceList &Undone,
                 const std::wstring &LeftRoot, const std::wstring &RightRoot);
  // Saves the state as of now.
  void SaveNow();
  // Tells the user that the state could not be saved, and why.
  static void ReportNotSaved(const Exception &E);

  // Whether an entry (as Found records it) differs from its record by the comparison's rules.
  bool Changed(const TPairRecord &Record, const TPairRecord &Found) const;

private:
  // A line waiting for the state, with what judging it needs.
  struct THeld {
    enum TKind : uint8_t { hkLine, hkOneSided, hkPair };
    TDifferenceItem Item; // as the rules judged it
    TKind Kind = hkLine;
    bool OnLeft = false, Link = false;
    TPairRecord Left, Right; // one side only: Left is the entry
    std::wstring SideRoot;
    // Top level only: the entries whose selection follows the judgement.
    TBaseFileInfo *LeftInfo = nullptr, *RightInfo = nullptr;
  };
  enum TTreeState { tsUnchanged, tsChanged, tsUnreadable };

  // Whether the state is read and what waited for it is written.
  bool Ready();
  void Drain();
  void Judge(THeld &Held);
  void JudgeOneSided(THeld &Held);
  void JudgePair(THeld &Held);
  // The lines of the entries of a directory on one side only; tsUnchanged (and no line) when
  // nothing inside it changed or was added since the last run.
  TTreeState JudgeTree(const std::wstring &Path, const std::wstring &RelativePath, bool OnLeft,
                       std::vector<TDifferenceItem> &Lines) const;
  void Seen(const std::wstring &RelativeDir, const std::wstring &Name, const TPairRecord &Record);
  bool SameFiles(const TBaseFileInfo &LeftInfo, const TBaseFileInfo &RightInfo) const;
  // Records the equal entries of two trees that now exist on both sides.
  void RecordTrees(const std::wstring &LeftPath, const std::wstring &RightPath,
                   const std::wstring &RelativeDir);
  void Refresh(const std::wstring &LeftRoot, const std::wstring &RightRoot, const TDifferenceItem &Item);

  TPairState FState;
  TPairState::TStatus FStatus = TPairState::psMissing;
  TRules FRules;
  TNameFilter FFilter;
  // Key hashes of the levels walked on both sides.
  std::unordered_set<uint64_t> FLevels;

  std::function<void(const std::wstring &)> FWrite;
  std::thread FLoader;
  // Set by the loader when the state is read; FStatus and FState are its until then.
  std::atomic<bool> FLoaded{true};
  bool FDrained = true;
  std::vector<THeld> FHeld;
  // Entries seen equal while the state was read.
  struct TSeen {
    uint32_t Offset, Length;
    TPairRecord Record;
  };
  TTextBlocks FSeenPaths;
  TBlockArray<TSeen> FSeen;
};
