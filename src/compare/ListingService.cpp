#include "ListingService.h"

#include "CompareRules.h"
#include "Options.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {

// How far ahead of the walk a level's requests go per worker: enough to keep every worker busy
// while the walk merges, few enough that what is held stays a handful of directories.
constexpr size_t RequestsAheadPerWorker = 8;
// How often the waiting walk looks up from a wait: well inside the half-second redraw.
constexpr auto IdleInterval = std::chrono::milliseconds(50);
// A job is usually done within moments: the walk looks this often before it goes to sleep, since
// putting a thread to sleep and waking it costs more than the job itself (under wine each is a
// round trip to the server).
constexpr int SpinsBeforeSleep = 200;

} // namespace

struct TListingService::TLevel::TJob {
  enum TState { jsQueued, jsRunning, jsDone, jsDropped };
  TRequest Request;
  // Changed under the service's lock; read without it only by the spinning walk.
  std::atomic<TState> State = jsQueued;

  bool Finished() const { return State == jsDone || State == jsDropped; }
  bool Listed = false;
  TFileInfoList List;
  bool Same = false;
  bool LeftFailed = false;
  bool RightFailed = false;
};

TListingService::TListingService(const TVelmoraOptions &Options, int Workers, std::function<void()> Idle)
    : FOptions(Options), FIdle(std::move(Idle)) {
  Workers = std::clamp(Workers, 1, MaxWorkers);
  if (Workers < 2)
    return;
  try {
    for (int I = 0; I < Workers; ++I)
      FThreads.emplace_back([this] { Work(); });
  } catch (...) {
    // Fewer workers than asked for still serve; none at all is the plain walk.
  }
}

TListingService::~TListingService() {
  {
    std::lock_guard<TSlimLock> Guard(FLock);
    FStop = true;
    FQueue.clear();
  }
  FWorkReady.notify_all();
  for (std::thread &Thread : FThreads)
    Thread.join();
}

void TListingService::Work() {
  // Each worker reads its pairs into buffers of its own.
  TCompareRules Rules(FOptions);
  for (;;) {
    std::shared_ptr<TLevel::TJob> Job;
    {
      std::unique_lock<TSlimLock> Guard(FLock);
      FWorkReady.wait(Guard, [this] { return FStop || !FQueue.empty(); });
      if (FStop)
        return;
      Job = std::move(FQueue.front());
      FQueue.pop_front();
      if (Job->State != TLevel::TJob::jsQueued)
        continue;
      Job->State = TLevel::TJob::jsRunning;
    }
    const TRequest &Request = Job->Request;
    try {
      if (Request.Kind == TRequest::rkList) {
        Job->Listed = Job->List.LoadFromDirectory(Request.Path);
        // The sort keys are made here too, so that the walk only compares them.
        for (size_t I = 0; I < Job->List.Count(); ++I)
          Job->List[I].GetSortKey();
      } else {
        Job->Same = Rules.SameContentsOfFiles(Request.Path, Request.RightPath, Request.LeftSize,
                                              Request.RightSize, Job->LeftFailed, Job->RightFailed);
      }
    } catch (...) {
      // Out of memory, most likely: the walk does the request itself and meets the error there.
      std::lock_guard<TSlimLock> Guard(FLock);
      Job->State = TLevel::TJob::jsDropped;
      if (FAwaited == Job.get())
        FJobDone.notify_all();
      continue;
    }
    bool Awaited;
    {
      std::lock_guard<TSlimLock> Guard(FLock);
      if (Job->State == TLevel::TJob::jsRunning)
        Job->State = TLevel::TJob::jsDone;
      Awaited = FAwaited == Job.get();
    }
    if (Awaited)
      FJobDone.notify_all();
  }
}

void TListingService::Wait(TLevel::TJob &Job) {
  for (int Spin = 0; Spin < SpinsBeforeSleep; ++Spin) {
    if (Job.Finished()) {
      // What the worker wrote before it said so is seen once the lock has been taken.
      std::lock_guard<TSlimLock> Guard(FLock);
      return;
    }
    std::this_thread::yield();
  }
  for (;;) {
    {
      std::unique_lock<TSlimLock> Guard(FLock);
      FAwaited = &Job;
      const bool Finished = FJobDone.wait_for(Guard, IdleInterval, [&Job] { return Job.Finished(); });
      FAwaited = nullptr;
      if (Finished)
        return;
    }
    if (FIdle)
      FIdle();
  }
}

void TListingService::Drop(std::shared_ptr<TLevel::TJob> &Job) {
  if (!Job)
    return;
  {
    // A worker still busy with it finishes and lets it go; its result is never looked at.
    std::lock_guard<TSlimLock> Guard(FLock);
    Job->State = TLevel::TJob::jsDropped;
  }
  Job.reset();
}

TListingService::TLevel::TLevel(TListingService &Service, std::vector<TRequest> Requests)
    : FService(Service), FOuter(Service.FLevel) {
  if (FService.FThreads.empty())
    return;
  FRequests = std::move(Requests);
  FService.FLevel = this;
  Issue();
}

TListingService::TLevel::~TLevel() {
  if (FService.FLevel != this)
    return;
  FService.FLevel = FOuter;
  std::lock_guard<TSlimLock> Guard(FService.FLock);
  for (const std::shared_ptr<TJob> &Job : FJobs)
    if (Job && Job->State == TJob::jsQueued)
      Job->State = TJob::jsDropped;
  // Queued jobs of this level are skipped by the workers; the ones running finish on their own.
  FService.FQueue.erase(
      std::remove_if(FService.FQueue.begin(), FService.FQueue.end(),
                     [](const std::shared_ptr<TJob> &Job) { return Job->State == TJob::jsDropped; }),
      FService.FQueue.end());
}

void TListingService::TLevel::Issue() {
  const size_t Window = RequestsAheadPerWorker * FService.FThreads.size();
  const size_t End = std::min(FRequests.size(), FCursor + Window);
  if (FJobs.size() >= End)
    return;
  size_t Added = 0;
  {
    std::lock_guard<TSlimLock> Guard(FService.FLock);
    for (; FJobs.size() < End; ++Added) {
      auto Job = std::make_shared<TJob>();
      Job->Request = FRequests[FJobs.size()];
      FService.FQueue.push_back(Job);
      FJobs.push_back(std::move(Job));
    }
  }
  // As many workers woken as there are jobs for them.
  if (Added == 1)
    FService.FWorkReady.notify_one();
  else
    FService.FWorkReady.notify_all();
}

std::shared_ptr<TListingService::TLevel::TJob> TListingService::TLevel::Take(TRequest::TKind Kind,
                                                                             const std::wstring &Path) {
  for (size_t Index = FCursor; Index < FRequests.size(); ++Index) {
    const TRequest &Request = FRequests[Index];
    if (Request.Kind != Kind || Request.Path != Path)
      continue;
    // The requests passed over were not made after all (the walk found it had no need).
    for (; FCursor < Index; ++FCursor)
      if (FCursor < FJobs.size())
        FService.Drop(FJobs[FCursor]);
    FCursor = Index + 1;
    Issue();
    std::shared_ptr<TJob> Job = std::move(FJobs[Index]);
    FService.Wait(*Job);
    return Job;
  }
  return nullptr;
}

bool TListingService::List(const std::wstring &Directory, TFileInfoList &List) {
  if (FLevel)
    if (std::shared_ptr<TLevel::TJob> Job = FLevel->Take(TRequest::rkList, Directory);
        Job && Job->State == TLevel::TJob::jsDone) {
      List.Clear();
      List.Swap(Job->List);
      return Job->Listed;
    }
  return List.LoadFromDirectory(Directory);
}

bool TListingService::TakeContents(const std::wstring &LeftPath, const std::wstring &RightPath, bool &Same,
                                   bool &LeftFailed, bool &RightFailed) {
  if (!FLevel)
    return false;
  std::shared_ptr<TLevel::TJob> Job = FLevel->Take(TRequest::rkContents, LeftPath);
  if (!Job || Job->State != TLevel::TJob::jsDone || Job->Request.RightPath != RightPath)
    return false;
  Same = Job->Same;
  LeftFailed = Job->LeftFailed;
  RightFailed = Job->RightFailed;
  return true;
}
