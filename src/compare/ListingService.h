#pragma once

#include "CompareRules.h"
#include "FileInfo.h"
#include "Threads.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class TVelmoraOptions;

// The file-system work of a comparison run: directory listings and the contents of small files,
// done ahead on worker threads while the walk merges what it has, and handed back in the order
// the walk asks for them. With one worker nothing runs ahead: every request is served on the
// calling thread when it is made, as a plain walk would.
//
// Workers make file-system calls only; the calling thread alone waits for them, and calls Idle
// while it waits (the run redraws its progress window and looks for Esc there). Whatever Idle
// throws ends the wait; the destructor stops the workers and drops what they have not handed
// over.
class TListingService {
public:
  // What the walk is going to ask for at one level.
  struct TRequest {
    enum TKind { rkList, rkContents } Kind = rkList;
    // The directory to list, or the left file of a pair.
    std::wstring Path;
    std::wstring RightPath;
    int64_t LeftSize = 0;
    int64_t RightSize = 0;
  };

  // Requests of at most this many bytes a side (read in one block) are compared ahead; a larger
  // pair is read by the run itself, which shows its progress block by block.
  static constexpr int64_t AheadContentsLimit = TCompareRules::ExactBlockSize - 1;
  static constexpr int MaxWorkers = 16;

  // Options must outlive the service (the workers read the contents rules from it).
  TListingService(const TVelmoraOptions &Options, int Workers, std::function<void()> Idle);
  ~TListingService();
  TListingService(const TListingService &) = delete;
  TListingService &operator=(const TListingService &) = delete;

  // The requests of one level, in the order the walk will make them: a window of them is handed
  // to the workers and moves on as they are taken; what is skipped or left when the level ends
  // is dropped. Levels nest as the walk descends.
  class TLevel {
  public:
    TLevel(TListingService &Service, std::vector<TRequest> Requests);
    ~TLevel();
    TLevel(const TLevel &) = delete;
    TLevel &operator=(const TLevel &) = delete;

  private:
    friend class TListingService;
    struct TJob;
    // Hands the next requests to the workers until Window of them are out.
    void Issue();
    // The job of the request of this kind and path from the cursor on, the ones before it dropped;
    // null when the level did not expect it.
    std::shared_ptr<TJob> Take(TRequest::TKind Kind, const std::wstring &Path);

    TListingService &FService;
    TLevel *FOuter;
    std::vector<TRequest> FRequests;
    std::vector<std::shared_ptr<TJob>> FJobs;
    size_t FCursor = 0;
  };

  // The threads listing ahead; 1 when the walk lists for itself.
  int Workers() const { return FThreads.empty() ? 1 : static_cast<int>(FThreads.size()); }

  // The entries of Directory as TFileInfoList::LoadFromDirectory gives them (same result).
  bool List(const std::wstring &Directory, TFileInfoList &List);
  // True when the pair of files was compared ahead; Same and the flags then tell what
  // TCompareRules::SameContentsOfFiles said.
  bool TakeContents(const std::wstring &LeftPath, const std::wstring &RightPath, bool &Same, bool &LeftFailed,
                    bool &RightFailed);

private:
  void Work();
  void Run(TLevel::TJob &Job);
  void Wait(TLevel::TJob &Job);
  void Drop(std::shared_ptr<TLevel::TJob> &Job);

  const TVelmoraOptions &FOptions;
  std::function<void()> FIdle;
  TLevel *FLevel = nullptr;
  TSlimLock FLock;
  TSlimCondition FWorkReady;
  TSlimCondition FJobDone;
  std::deque<std::shared_ptr<TLevel::TJob>> FQueue;
  // The job the walk sleeps on, if it does: only its end wakes it.
  const TLevel::TJob *FAwaited = nullptr;
  bool FStop = false;
  std::vector<std::thread> FThreads;
};
