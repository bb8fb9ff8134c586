#include "RunPlan.h"

#include "Exceptions.h"
#include "Files.h"
#include "Handles.h"

#include <algorithm>
#include <unordered_map>
#include <windows.h>

namespace {

bool IsDots(const wchar_t *Name) {
  return Name[0] == L'.' && (Name[1] == 0 || (Name[1] == L'.' && Name[2] == 0));
}

int64_t SizeOf(const WIN32_FIND_DATAW &Found) {
  return (static_cast<int64_t>(Found.nFileSizeHigh) << 32) | Found.nFileSizeLow;
}

std::wstring UpperCase(std::wstring Text) {
  if (!Text.empty())
    ::CharUpperBuffW(Text.data(), static_cast<DWORD>(Text.size()));
  return Text;
}

// One directory's entries by name, letter case aside: files of a document are measured a
// directory listing at a time, not a query per file.
class TListingCache {
public:
  // The entry at Path; null when there is none.
  const WIN32_FIND_DATAW *Find(const std::wstring &Path) {
    const size_t Slash = Path.find_last_of(L'\\');
    if (Slash == std::wstring::npos)
      return nullptr;
    auto &Listing = FListings[UpperCase(Path.substr(0, Slash))];
    if (!Listing.Loaded) {
      Listing.Loaded = true;
      WIN32_FIND_DATAW Found;
      TFindHandle Search(::FindFirstFileExW((Path.substr(0, Slash + 1) + L"*").c_str(), FindExInfoBasic,
                                            &Found, FindExSearchNameMatch, nullptr,
                                            FIND_FIRST_EX_LARGE_FETCH));
      if (Search.IsValid())
        do
          if (!IsDots(Found.cFileName))
            Listing.Entries.emplace(UpperCase(Found.cFileName), Found);
        while (::FindNextFileW(Search.Get(), &Found));
    }
    const auto Entry = Listing.Entries.find(UpperCase(Path.substr(Slash + 1)));
    return Entry == Listing.Entries.end() ? nullptr : &Entry->second;
  }

private:
  struct TListing {
    bool Loaded = false;
    std::unordered_map<std::wstring, WIN32_FIND_DATAW> Entries;
  };
  std::unordered_map<std::wstring, TListing> FListings;
};

struct TTreeCounts {
  int64_t Files = 0, Bytes = 0, Entries = 0;
};

// Everything below Directory the masks let through; links count as one entry each. Entries counts
// what deleting the tree removes: a directory holding something the masks leave out stays. True
// when something below Directory stays.
bool WalkTree(const std::wstring &Directory, const TNameFilter &Filter, TTreeCounts &Counts,
              const TRunPlan::TTick &Tick) {
  Tick(Directory);
  WIN32_FIND_DATAW Found;
  TFindHandle Search(::FindFirstFileExW((Directory + L"\\*").c_str(), FindExInfoBasic, &Found,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!Search.IsValid())
    return false;
  bool Keeps = false;
  do {
    const bool IsDirectory = (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (IsDirectory && IsDots(Found.cFileName))
      continue;
    if (!Filter.Passes(Found.cFileName, IsDirectory)) {
      Keeps = true;
      continue;
    }
    if (!IsDirectory) {
      ++Counts.Entries;
      ++Counts.Files;
      Counts.Bytes += SizeOf(Found);
    } else if ((Found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
               !WalkTree(Directory + L'\\' + Found.cFileName, Filter, Counts, Tick)) {
      ++Counts.Entries;
    } else {
      Keeps = true;
    }
  } while (::FindNextFileW(Search.Get(), &Found));
  return Keeps;
}

// Whether a directory on the way to a line is a link: the run refuses such a line on that side.
class TLinkCache {
public:
  bool OnTheWay(const std::wstring &Root, const std::wstring &RelativePath) {
    for (size_t Split = RelativePath.find(L'\\'); Split != std::wstring::npos;
         Split = RelativePath.find(L'\\', Split + 1)) {
      const std::wstring Directory = Root + RelativePath.substr(0, Split);
      auto Known = FLinks.find(UpperCase(Directory));
      if (Known == FLinks.end()) {
        const DWORD Attributes = ::GetFileAttributesW(Directory.c_str());
        // Nothing there: whatever the run makes on the way is a plain directory.
        if (Attributes == INVALID_FILE_ATTRIBUTES)
          return false;
        Known = FLinks.emplace(UpperCase(Directory), (Attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0).first;
      }
      if (Known->second)
        return true;
    }
    return false;
  }

private:
  std::unordered_map<std::wstring, bool> FLinks;
};

} // namespace

TPlannedAction PlannedAction(const TDifferenceItem &Item, const TRunChoices &Choices) {
  // Changed on one side and deleted on the other: the work is copied back, never deleted.
  if (Item.Reason == drConflict && (Item.DiffType == dtMissingLeft || Item.DiffType == dtMissingRight))
    return (Item.DiffType == dtMissingLeft ? Choices.CopyToLeft : Choices.CopyToRight)
               ? (Item.DiffType == dtMissingLeft ? paCopyToLeft : paCopyToRight)
               : paNone;
  switch (Item.DiffType) {
  case dtMissingLeft:
    if (Choices.DeleteOnRight)
      return paDeleteOnRight;
    return Choices.CopyToLeft ? paCopyToLeft : paNone;
  case dtMissingRight:
    if (Choices.DeleteOnLeft)
      return paDeleteOnLeft;
    return Choices.CopyToRight ? paCopyToRight : paNone;
  case dtOlderLeft:
    return Choices.CopyToLeft ? paCopyToLeft : paNone;
  case dtOlderRight:
    return Choices.CopyToRight ? paCopyToRight : paNone;
  case dtFailedLeft:
    return Choices.CopyToLeft && !Item.IsDirectory ? paCopyToLeft : paNone;
  case dtFailedRight:
    return Choices.CopyToRight && !Item.IsDirectory ? paCopyToRight : paNone;
  case dtDifferent:
    switch (Choices.DifferentFiles) {
    case dfaCopyToLeft:
      return paCopyToLeft;
    case dfaCopyToRight:
      return paCopyToRight;
    case dfaAsk:
      return paAsk;
    default:
      return paNone;
    }
  case dtDeleteLeft: // a line's own deletion needs no check box of the dialog
    return paDeleteOnLeft;
  case dtDeleteRight:
    return paDeleteOnRight;
  default:
    return paNone;
  }
}

void TRunPlan::Measure(const TDifferenceList &List, const std::wstring &LeftRoot,
                       const std::wstring &RightRoot, const TNameFilter &Filter, const TTick &Tick) {
  FItems.assign(List.Count(), TItemMeasure());
  FPartial = false;
  // A line inside a directory line is done with it when both are done the same way.
  std::unordered_map<std::wstring, size_t> DirectoryLines;
  for (size_t Index = 0; Index < List.Count(); ++Index)
    if (List[Index].IsDirectory)
      DirectoryLines.emplace(UpperCase(ExcludeTrailingBackslash(List[Index].RelativePath)), Index);
  if (!DirectoryLines.empty())
    for (size_t Index = 0; Index < List.Count(); ++Index) {
      const std::wstring Path = UpperCase(List[Index].RelativePath);
      for (size_t Split = Path.find(L'\\'); Split != std::wstring::npos;
           Split = Path.find(L'\\', Split + 1)) {
        const auto Found = DirectoryLines.find(Path.substr(0, Split));
        if (Found != DirectoryLines.end() && Found->second != Index)
          FItems[Index].Ancestors.push_back(Found->second);
      }
    }
  TListingCache Listings;
  TLinkCache Links;
  try {
    for (size_t Index = 0; Index < List.Count(); ++Index) {
      const TDifferenceItem &Item = List[Index];
      TItemMeasure &Measure = FItems[Index];
      const std::wstring LeftPath = LeftRoot + Item.RelativePath;
      const std::wstring RightPath = RightRoot + Item.RelativePath;
      if (Item.IsDirectory) {
        // Only a side that has the tree is walked: the copy's source, or what a deletion removes.
        for (const bool OnLeft : {true, false}) {
          const std::wstring &Path = OnLeft ? LeftPath : RightPath;
          const DWORD Attributes = ::GetFileAttributesW(Path.c_str());
          if (Attributes == INVALID_FILE_ATTRIBUTES || (Attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            continue;
          TTreeCounts Counts;
          bool Keeps = false;
          if ((Attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
            Keeps = WalkTree(ExcludeTrailingBackslash(Path), Filter, Counts, Tick);
          TCopyCounts &Copy = OnLeft ? Measure.ToRight : Measure.ToLeft;
          Copy.Files = Counts.Files;
          Copy.Bytes = Copy.Growth = Counts.Bytes;
          (OnLeft ? Measure.DeleteLeft : Measure.DeleteRight) = Counts.Entries + (Keeps ? 0 : 1);
        }
      } else {
        if ((Index & 255) == 0)
          Tick(LeftPath);
        const WIN32_FIND_DATAW *OnLeft = Listings.Find(LeftPath);
        const WIN32_FIND_DATAW *OnRight = Listings.Find(RightPath);
        const int64_t LeftSize = OnLeft ? SizeOf(*OnLeft) : 0, RightSize = OnRight ? SizeOf(*OnRight) : 0;
        if (OnLeft) {
          Measure.ToRight = {1, LeftSize, std::max<int64_t>(LeftSize - RightSize, 0),
                             OnRight ? std::min(LeftSize, RightSize) : 0};
          Measure.DeleteLeft = 1;
        }
        if (OnRight) {
          Measure.ToLeft = {1, RightSize, std::max<int64_t>(RightSize - LeftSize, 0),
                            OnLeft ? std::min(LeftSize, RightSize) : 0};
          Measure.DeleteRight = 1;
        }
      }
      // Nothing is copied or deleted through a link on the way to a line.
      if (Links.OnTheWay(LeftRoot, Item.RelativePath)) {
        Measure.ToLeft = TCopyCounts();
        Measure.DeleteLeft = 0;
      }
      if (Links.OnTheWay(RightRoot, Item.RelativePath)) {
        Measure.ToRight = TCopyCounts();
        Measure.DeleteRight = 0;
      }
      Measure.Measured = true;
    }
  } catch (const EAbort &) {
    FPartial = true;
  }
}

TRunTotals TRunPlan::Totals(const TDifferenceList &List, const TRunChoices &Choices) const {
  TRunTotals Result;
  auto Add = [](TCopyCounts &To, const TCopyCounts &From, bool Measured) {
    To.Files += From.Files;
    To.Bytes += From.Bytes;
    To.Growth += From.Growth;
    To.Overlap = std::max(To.Overlap, From.Overlap);
    To.Partial = To.Partial || !Measured;
  };
  for (size_t Index = 0; Index < List.Count() && Index < FItems.size(); ++Index) {
    const TItemMeasure &Measure = FItems[Index];
    const TPlannedAction Action = PlannedAction(List[Index], Choices);
    if (std::any_of(Measure.Ancestors.begin(), Measure.Ancestors.end(),
                    [&](size_t Ancestor) { return PlannedAction(List[Ancestor], Choices) == Action; }))
      continue;
    switch (Action) {
    case paCopyToLeft:
      Add(Result.ToLeft, Measure.ToLeft, Measure.Measured);
      break;
    case paCopyToRight:
      Add(Result.ToRight, Measure.ToRight, Measure.Measured);
      break;
    case paDeleteOnLeft:
      Result.DeleteLeft += Measure.DeleteLeft;
      Result.DeleteLeftPartial = Result.DeleteLeftPartial || !Measure.Measured;
      break;
    case paDeleteOnRight:
      Result.DeleteRight += Measure.DeleteRight;
      Result.DeleteRightPartial = Result.DeleteRightPartial || !Measure.Measured;
      break;
    default:
      break;
    }
  }
  return Result;
}

int64_t TRunPlan::CountEntries(const std::wstring &Root, const TNameFilter &Filter, int64_t Limit) {
  int64_t Count = 0;
  std::vector<std::wstring> Pending{ExcludeTrailingBackslash(Root)};
  bool First = true;
  while (!Pending.empty() && Count <= Limit) {
    const std::wstring Directory = std::move(Pending.back());
    Pending.pop_back();
    WIN32_FIND_DATAW Found;
    TFindHandle Search(::FindFirstFileExW((Directory + L"\\*").c_str(), FindExInfoBasic, &Found,
                                          FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!Search.IsValid()) {
      // An empty drive root lists nothing at all.
      if (First && ::GetLastError() != ERROR_FILE_NOT_FOUND)
        return -1;
      First = false;
      continue;
    }
    First = false;
    do {
      const bool IsDirectory = (Found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if ((IsDirectory && IsDots(Found.cFileName)) || !Filter.Passes(Found.cFileName, IsDirectory))
        continue;
      ++Count;
      if (IsDirectory && (Found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        Pending.push_back(Directory + L'\\' + Found.cFileName);
    } while (::FindNextFileW(Search.Get(), &Found));
  }
  return Count;
}
