// The listing service on real folders: what the workers did ahead is handed over only to the
// request it was made for, whatever order the walk asks in, and a pair of files compared ahead
// says what reading it on the spot says.

#include "ListingService.h"
#include "CompareRules.h"
#include "HostTest.h"
#include "Options.h"

#include "compare/ScratchFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TRequest = TListingService::TRequest;

std::vector<std::wstring> Names(TFileInfoList &List) {
  List.SortByFileName();
  std::vector<std::wstring> Result;
  for (size_t I = 0; I < List.Count(); ++I)
    Result.push_back(List[I].GetFileName());
  return Result;
}

class ListingServiceTest : public ::testing::TestWithParam<int> {
protected:
  void SetUp() override {
    for (const wchar_t *Name : {L"a", L"b", L"c", L"d"}) {
      ASSERT_TRUE(CreateDirectoryW((Folder / Name).c_str(), nullptr));
      ASSERT_TRUE(WriteBytes(Folder / Name + L"\\in_" + Name + L".txt", "x"));
    }
  }
  TRequest List(const wchar_t *Name) { return {TRequest::rkList, Folder / Name, {}, 0, 0}; }

  TScratchFolder Folder;
  TVelmoraOptions Options;
};

TEST_P(ListingServiceTest, EveryDirectoryIsListedRightInWhateverOrderItIsAskedFor) {
  TListingService Service(Options, GetParam(), {});
  TListingService::TLevel Level(Service, {List(L"a"), List(L"b"), List(L"c"), List(L"d")});
  // b before a (a is dropped), a again (no longer expected: listed on the spot), an unexpected
  // directory, and d past the skipped c.
  const std::vector<std::wstring> Order = {L"b", L"a", L"d", L"c"};
  for (const std::wstring &Name : Order) {
    TFileInfoList Entries;
    ASSERT_TRUE(Service.List(Folder / Name, Entries)) << HostUtf8(Name);
    EXPECT_EQ(std::vector<std::wstring>{L"in_" + Name + L".txt"}, Names(Entries)) << HostUtf8(Name);
  }
  TFileInfoList Missing;
  EXPECT_TRUE(Service.List(Folder / L"gone", Missing)) << "a directory not there counts as empty";
  EXPECT_EQ(0u, Missing.Count());
}

TEST_P(ListingServiceTest, NestedLevelsHandBackTheirOwnRequests) {
  TListingService Service(Options, GetParam(), {});
  TListingService::TLevel Outer(Service, {List(L"a"), List(L"b")});
  TFileInfoList Entries;
  ASSERT_TRUE(Service.List(Folder / L"a", Entries));
  {
    TListingService::TLevel Inner(Service, {List(L"c"), List(L"d")});
    ASSERT_TRUE(Service.List(Folder / L"d", Entries));
    EXPECT_EQ(std::vector<std::wstring>{L"in_d.txt"}, Names(Entries));
  }
  ASSERT_TRUE(Service.List(Folder / L"b", Entries));
  EXPECT_EQ(std::vector<std::wstring>{L"in_b.txt"}, Names(Entries));
}

TEST_P(ListingServiceTest, PairsComparedAheadGiveWhatReadingThemGives) {
  Options.CompareContents = true;
  struct TCase {
    std::string Left, Right;
    bool Same;
  };
  const TCase Cases[] = {{"same", "same", true}, {"left", "righ", false}, {"", "", true}, {"a", "ab", false}};
  std::vector<TRequest> Requests;
  for (size_t I = 0; I < std::size(Cases); ++I) {
    const std::wstring N = std::to_wstring(I);
    ASSERT_TRUE(WriteBytes(Folder / (L"l" + N), Cases[I].Left));
    ASSERT_TRUE(WriteBytes(Folder / (L"r" + N), Cases[I].Right));
    Requests.push_back({TRequest::rkContents, Folder / (L"l" + N), Folder / (L"r" + N),
                        static_cast<int64_t>(Cases[I].Left.size()),
                        static_cast<int64_t>(Cases[I].Right.size())});
  }
  // A pair that cannot be opened on its left side.
  Requests.push_back({TRequest::rkContents, Folder / L"nowhere", Folder / L"r0", 0, 4});
  TListingService Service(Options, GetParam(), {});
  TListingService::TLevel Level(Service, Requests);
  for (size_t I = 0; I < std::size(Cases); ++I) {
    bool Same = false, LeftFailed = true, RightFailed = true;
    const bool Ahead =
        Service.TakeContents(Requests[I].Path, Requests[I].RightPath, Same, LeftFailed, RightFailed);
    // With one worker nothing is done ahead: the run reads the pair itself.
    EXPECT_EQ(GetParam() > 1, Ahead);
    if (Ahead) {
      EXPECT_EQ(Cases[I].Same, Same) << I;
      EXPECT_FALSE(LeftFailed || RightFailed) << I;
    }
  }
  bool Same = true, LeftFailed = false, RightFailed = true;
  if (Service.TakeContents(Folder / L"nowhere", Folder / L"r0", Same, LeftFailed, RightFailed)) {
    EXPECT_FALSE(Same);
    EXPECT_TRUE(LeftFailed);
    EXPECT_FALSE(RightFailed);
  }
  EXPECT_FALSE(Service.TakeContents(Folder / L"l0", Folder / L"r0", Same, LeftFailed, RightFailed))
      << "a pair is handed over once";
}

INSTANTIATE_TEST_SUITE_P(Workers, ListingServiceTest, ::testing::Values(1, 2, 16));

} // namespace
