// The rules that judge one pair of files, on real files: which test decides under which options,
// the direction and marks of each outcome, the time tolerances at their exact limits, both
// ignoring modes across block boundaries (checked against a plain model of each mode), files that
// cannot be read, and an abort in the middle of a comparison.
#include "CompareRules.h"
#include "Files.h"
#include "Handles.h"

#include "compare/ScratchFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <tuple>

namespace {

// 100-ns ticks.
constexpr int64_t Millisecond = 10000, Second = 1000 * Millisecond, Hour = 3600 * Second;
// 8 December 2026, 10:00 UTC: day counts near 46000, where a double's last place is ~0.6 µs.
constexpr int64_t BaseTime = 134097624000000000;

class CompareRulesTest : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryW((Folder / L"left").c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW((Folder / L"right").c_str(), nullptr));
    LeftRoot = LongPathName(Folder / L"left") + L"\\";
    RightRoot = LongPathName(Folder / L"right") + L"\\";
  }

  std::wstring Path(bool Left, const std::wstring &Name) const {
    return Folder / ((Left ? L"left\\" : L"right\\") + Name);
  }
  void Put(bool Left, const std::wstring &Name, const std::string &Bytes, int64_t Ticks = BaseTime) {
    ASSERT_TRUE(WriteBytes(Path(Left, Name), Bytes));
    ASSERT_TRUE(SetWriteTime(Path(Left, Name), Ticks));
  }
  // The entry as the walk lists it.
  std::unique_ptr<TBaseFileInfo> Info(bool Left, const std::wstring &Name) {
    WIN32_FIND_DATAW Data;
    HANDLE Find = FindFirstFileW(Path(Left, Name).c_str(), &Data);
    EXPECT_NE(INVALID_HANDLE_VALUE, Find) << "no file " << HostName(Name);
    if (Find == INVALID_HANDLE_VALUE)
      return nullptr;
    FindClose(Find);
    return std::make_unique<TFileInfoFromFileSystem>(Data);
  }
  static std::string HostName(const std::wstring &Name) { return std::string(Name.begin(), Name.end()); }

  // Judges left\LeftName against right\RightName; the marks land in LeftMarked, RightMarked.
  TFileComparison Judge(const std::wstring &LeftName, const std::wstring &RightName) {
    auto L = Info(true, LeftName), R = Info(false, RightName);
    if (!L || !R)
      return {};
    TCompareRules Rules(Options,
                        [this](const std::wstring &LeftText, const std::wstring &RightText, int64_t Done,
                               int64_t Total) { Progress.emplace_back(LeftText, RightText, Done, Total); });
    TFileComparison Result = Rules.CompareFiles(*L, *R, LeftRoot, RightRoot, L"", LeftName);
    LeftMarked = L->GetSelected();
    RightMarked = R->GetSelected();
    return Result;
  }
  TFileComparison Judge(const std::wstring &Name) { return Judge(Name, Name); }

  void ExpectOutcome(TDifferenceType Type, TDifferenceReason Reason, bool MarkLeft, bool MarkRight,
                     const TFileComparison &Result) {
    EXPECT_EQ(Type, Result.DiffType);
    EXPECT_EQ(Reason, Result.Reason);
    EXPECT_EQ(MarkLeft, LeftMarked);
    EXPECT_EQ(MarkRight, RightMarked);
  }
  void ContentsOnly(bool IgnoreWhitespace) {
    Options.CompareContents = true;
    Options.CompareContentsIgnore = true;
    Options.IgnoreWhitespace = IgnoreWhitespace;
  }

  TScratchFolder Folder;
  std::wstring LeftRoot, RightRoot;
  TVelmoraOptions Options;
  bool LeftMarked = false, RightMarked = false;
  std::vector<std::tuple<std::wstring, std::wstring, int64_t, int64_t>> Progress;
};

} // namespace

// ---- Size, time and letter case ----

TEST_F(CompareRulesTest, DefaultOptionsForgiveATimeZoneShiftWithinTwoSeconds) {
  Put(true, L"a.txt", "same", BaseTime);
  Put(false, L"a.txt", "same", BaseTime + Hour + Second);
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"a.txt"));

  Put(false, L"a.txt", "same", BaseTime + Hour + 3 * Second);
  // The right copy is newer: the left one is the older, and the right item is marked.
  ExpectOutcome(dtOlderLeft, drTime, false, true, Judge(L"a.txt"));
  EXPECT_TRUE(Progress.empty()) << "no file may be opened without CompareContents";
}

TEST_F(CompareRulesTest, TwoSecondToleranceIsExactAtItsLimit) {
  Options.IgnorePossibleTimeZoneDifferences = false;
  Put(true, L"a", "x", BaseTime + 2 * Second);
  Put(false, L"a", "x", BaseTime);
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"a"));
  Put(true, L"a", "x", BaseTime + 2 * Second + Millisecond);
  ExpectOutcome(dtOlderRight, drTime, true, false, Judge(L"a"));
  // Without the time-zone option an hour is an hour.
  Put(true, L"a", "x", BaseTime + Hour);
  ExpectOutcome(dtOlderRight, drTime, true, false, Judge(L"a"));
}

TEST_F(CompareRulesTest, ExactTimesWithoutTolerances) {
  Options.LowPrecisionTime = false;
  Options.IgnorePossibleTimeZoneDifferences = false;
  Put(true, L"a", "x", BaseTime);
  Put(false, L"a", "x", BaseTime + Millisecond);
  ExpectOutcome(dtOlderLeft, drTime, false, true, Judge(L"a"));
  Put(false, L"a", "x", BaseTime);
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"a"));
  Options.CompareTime = false;
  Put(false, L"a", "x", BaseTime + 100 * Hour);
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"a"));
}

// The tolerance decisions must not depend on where the rounding of the day counts happens to
// fall: checked on the conversion the listing uses, for many start times.
TEST(CompareRulesTime, ToleranceLimitsHoldForEveryStartTime) {
  std::mt19937_64 Random(20261208);
  auto Days = [](int64_t Ticks) { return FileTimeToDays(TicksToFileTime(Ticks), false); };
  int Failures = 0;
  for (int I = 0; I < 20000 && Failures < 10; ++I) {
    // Any 100-ns instant in the years 1990 to 2100.
    const int64_t Start = 125911584000000000 + int64_t(Random() % (uint64_t(110) * 365 * 24 * Hour));
    const double T = Days(Start);
    auto Check = [&](bool Expected, int64_t Offset, bool LowPrecision, bool TimeZone, const char *What) {
      for (double Other : {Days(Start + Offset), Days(Start - Offset)})
        if (TCompareRules::SameTimeDays(T, Other, LowPrecision, TimeZone) != Expected ||
            TCompareRules::SameTimeDays(Other, T, LowPrecision, TimeZone) != Expected) {
          ADD_FAILURE() << What << " at start tick " << Start;
          ++Failures;
          return;
        }
    };
    Check(true, 2 * Second, true, false, "exactly 2 s");
    Check(false, 2 * Second + Millisecond, true, false, "2.001 s");
    Check(false, 2 * Second + 100 * 10, true, false, "2.0001 s");
    Check(true, Hour, false, true, "exactly 1 h, time zone only");
    Check(false, Hour + Millisecond, false, true, "1 h 1 ms, time zone only");
    Check(true, Hour + 2 * Second, true, true, "1 h 2 s, both");
    Check(false, Hour + 2 * Second + Millisecond, true, true, "1 h 2.001 s, both");
    Check(true, 3 * Hour, false, true, "3 h");
    Check(true, 26 * Hour + 2 * Second, true, true, "26 h 2 s: the widest time-zone shift");
    Check(false, 27 * Hour, true, true, "27 h: no time zones are that far apart");
    Check(false, 48 * Hour, true, true, "two days at the same minute");
    Check(false, Hour, true, false, "1 h, low precision only");
    Check(true, 0, false, false, "same instant, exact");
    Check(false, Millisecond, false, false, "1 ms, exact");
    Check(false, 30 * 60 * Second - Second, true, true, "29 min 59 s: no whole hours, and far beyond 2 s");
    Check(false, 30 * 60 * Second, true, true, "30 min: rounds up to an hour, then 30 min too far");
  }
  EXPECT_FALSE(TCompareRules::SameTimeDays(46000.0, 46000.0 + 30.0 / 1440, true, true)); // half an hour
}

TEST_F(CompareRulesTest, SizeDecidesFirstAndTheTimesGiveTheDirection) {
  Put(true, L"s", "12345", BaseTime);
  Put(false, L"s", "1234", BaseTime);
  ExpectOutcome(dtDifferent, drSize, true, true, Judge(L"s"));
  Put(true, L"s", "12345", BaseTime + Hour);
  // Equal within the tolerances, yet the left copy is newer in raw time.
  ExpectOutcome(dtOlderRight, drSize, true, false, Judge(L"s"));
  Options.SelectDifferencesOnBothPanels = true;
  ExpectOutcome(dtOlderRight, drSize, true, true, Judge(L"s"));
  Options.SelectDifferencesOnBothPanels = false;
  Options.CompareSize = false;
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"s"));
}

TEST_F(CompareRulesTest, LetterCaseOfTheNames) {
  Put(true, L"a.txt", "x");
  Put(false, L"A.txt", "x");
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"a.txt", L"A.txt"));
  Options.CompareFileNameCase = true;
  TFileComparison Result = Judge(L"a.txt", L"A.txt");
  ExpectOutcome(dtDifferent, drFileName, true, true, Result);
  EXPECT_EQ(L"<-->F\ta.txt", TDifferenceItem(Result.DiffType, Result.Reason, L"a.txt", false).FormatLine());
}

// ---- Contents ----

TEST_F(CompareRulesTest, ExactContentsStopAtTheFirstDifferentBlock) {
  Options.CompareContents = true;
  Put(true, L"empty", "");
  Put(false, L"empty", "");
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"empty"));

  // Long enough for the right file to be read on the reader thread, block by block.
  const size_t Block = TCompareRules::ExactBlockSize;
  std::string Data(3 * Block + 100, 'd');
  Put(true, L"big", Data);
  Put(false, L"big", Data, BaseTime + Hour); // equal in time, but newer
  Progress.clear();
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"big"));
  // First the two files with an empty bar, then one update per block pair.
  ASSERT_EQ(6u, Progress.size());
  EXPECT_EQ(RemoveLongPathPrefix(LeftRoot) + L"big", std::get<0>(Progress[0]));
  EXPECT_EQ(RemoveLongPathPrefix(RightRoot) + L"big", std::get<1>(Progress[0]));
  EXPECT_EQ(0, std::get<3>(Progress[0]));
  EXPECT_EQ(2 * int64_t(Data.size()), std::get<3>(Progress[1]));
  EXPECT_EQ(2 * int64_t(Block), std::get<2>(Progress[2]));
  EXPECT_EQ(2 * int64_t(Data.size()), std::get<2>(Progress[5]));

  // A difference in the right file only, in the third block and in the last bytes.
  for (size_t At : {2 * Block + 7, Data.size() - 1}) {
    std::string Changed = Data;
    Changed[At] = 'X';
    Put(false, L"big", Changed, BaseTime + Hour);
    Progress.clear();
    ExpectOutcome(dtOlderLeft, drContents, false, true, Judge(L"big"));
    EXPECT_EQ(At < 3 * Block ? 4u : 5u, Progress.size()) << "reading goes on after the differing block";
  }
}

TEST_F(CompareRulesTest, ExactContentsAtEveryBlockBoundary) {
  Options.CompareContents = true;
  Options.CompareSize = false;
  const size_t Block = TCompareRules::ExactBlockSize;
  for (size_t Size : {size_t(1), size_t(4095), size_t(4096), Block - 1, Block, Block + 1, 2 * Block}) {
    SCOPED_TRACE(testing::Message() << "size " << Size);
    std::string Data(Size, 'e');
    for (size_t I = 0; I < Size; I += 997)
      Data[I] = char('a' + I % 26);
    Put(true, L"f", Data);
    Put(false, L"f", Data);
    ExpectOutcome(dtEqual, drNone, false, false, Judge(L"f"));
    // The last byte differs.
    std::string Changed = Data;
    Changed.back() ^= 1;
    Put(false, L"f", Changed);
    ExpectOutcome(dtDifferent, drContents, true, true, Judge(L"f"));
    // One byte more on the right, where the left ends.
    Put(false, L"f", Data + "x");
    ExpectOutcome(dtDifferent, drContents, true, true, Judge(L"f"));
  }
}

TEST_F(CompareRulesTest, AFileThatChangedLengthSinceItsListingIsReadToItsRealEnd) {
  Options.CompareContents = true;
  const size_t Block = TCompareRules::ExactBlockSize;
  TCompareRules Rules(Options);
  // The sizes the listing saw, against what the files hold by the time they are read: shorter
  // or longer on either side, across the one-block and the several-block ways of reading.
  struct TCase {
    int64_t Listed;
    size_t Left, Right;
    bool Same;
  } Cases[] = {
      {int64_t(3 * Block), Block + 10, Block + 10, true},
      {int64_t(3 * Block), Block + 10, Block + 11, false},
      {int64_t(3 * Block), 3 * Block, 3 * Block - 1, false},
      {100, 2 * Block + 5, 2 * Block + 5, true},
      {100, 2 * Block + 5, 2 * Block + 6, false},
      {100, 0, 0, true},
  };
  for (const TCase &Case : Cases) {
    SCOPED_TRACE(testing::Message() << "listed " << Case.Listed << ", left " << Case.Left << ", right "
                                    << Case.Right);
    std::string Data(std::max(Case.Left, Case.Right), 'g');
    Put(true, L"grown", Data.substr(0, Case.Left));
    Put(false, L"grown", Data.substr(0, Case.Right));
    bool LeftFailed = true, RightFailed = true;
    EXPECT_EQ(Case.Same, Rules.SameContentsOfFiles(Path(true, L"grown"), Path(false, L"grown"), Case.Listed,
                                                   Case.Listed, LeftFailed, RightFailed));
    EXPECT_FALSE(LeftFailed);
    EXPECT_FALSE(RightFailed);
  }
}

TEST_F(CompareRulesTest, ExactContentsOfDifferentLengthWithoutTheSizeTest) {
  Options.CompareContents = true;
  Options.CompareSize = false;
  Put(true, L"f", std::string(4096, 'a'));
  Put(false, L"f", std::string(4096, 'a') + "b");
  ExpectOutcome(dtDifferent, drContents, true, true, Judge(L"f"));
}

TEST_F(CompareRulesTest, IgnoringModesLookOnlyAtTheContents) {
  ContentsOnly(false);
  Put(true, L"t.txt", "line one\r\nline two\r\n", BaseTime);
  Put(false, L"t.txt", "line one\nline two\n", BaseTime + 5 * Hour + 17 * Second);
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"t.txt"));
  Put(false, L"t.txt", "line one\nline two", BaseTime + 5 * Hour);
  ExpectOutcome(dtOlderLeft, drContents, false, true, Judge(L"t.txt"));

  ContentsOnly(true);
  Put(true, L"w.txt", "x = 1", BaseTime);
  Put(false, L"w.txt", "x=1", BaseTime);
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"w.txt"));
  Put(false, L"w.txt", "x=2", BaseTime);
  ExpectOutcome(dtDifferent, drContents, true, true, Judge(L"w.txt"));

  // Letter case of the names is not looked at either.
  Options.CompareFileNameCase = true;
  Put(true, L"n.txt", "a b");
  Put(false, L"N.TXT", "ab");
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"n.txt", L"N.TXT"));
}

namespace {

// The two modes, written the plain way: what remains must be equal.
std::string WithoutWhitespace(const std::string &Bytes) {
  std::string Result;
  for (char C : Bytes)
    if (!(C == 9 || C == 10 || C == 11 || C == 12 || C == 13 || C == 32))
      Result += C;
  return Result;
}
std::string WithUnifiedLineBreaks(const std::string &Bytes) {
  std::string Result;
  for (size_t I = 0; I < Bytes.size(); ++I)
    if (Bytes[I] == '\r') {
      Result += '\n';
      if (I + 1 < Bytes.size() && Bytes[I + 1] == '\n')
        ++I;
    } else
      Result += Bytes[I];
  return Result;
}

} // namespace

TEST_F(CompareRulesTest, LineBreaksSplitAcrossBlocks) {
  ContentsOnly(false);
  const std::string Text(4095, 'a');
  struct TCase {
    std::string Left, Right;
    bool Equal;
  } Cases[] = {
      {Text + "\r\nb", Text + "\nb", true}, // CR LF split by the block boundary
      {Text + "\r\nb", Text + "\rb", true},
      {Text + "\r\r\nb", Text + "\n\nb", true}, // CR, then CR LF split: two breaks
      {Text + "\r\nb", Text + "\n\nb", false},  // one break against two
      {Text + "\r\n", Text + "\n", true},       // a final CR LF against a final LF
      {Text + "\r\n", Text, false},             // one trailing break more
      {Text + "\r", Text + "\r\n", true},
      {Text + "\rb", Text + "b", false},      // a break against another character
      {Text + " \r\nb", Text + "\nb", false}, // spaces count in this mode
      {Text + "b\r\n" + Text + "\r\n", Text + "b\n" + Text + "\n", true},
  };
  for (const TCase &Case : Cases) {
    ASSERT_EQ(Case.Equal, WithUnifiedLineBreaks(Case.Left) == WithUnifiedLineBreaks(Case.Right));
    Put(true, L"f", Case.Left);
    Put(false, L"f", Case.Right);
    EXPECT_EQ(Case.Equal, !Judge(L"f").IsDifferent()) << Case.Left.size() << " against " << Case.Right.size();
  }
}

TEST_F(CompareRulesTest, WhitespaceAcrossBlocks) {
  ContentsOnly(true);
  const std::string Text(4095, 'a');
  struct TCase {
    std::string Left, Right;
    bool Equal;
  } Cases[] = {
      {Text + "\r\nb", Text + "b", true},
      {Text + " \t\r\n\v\f  b", Text + "\nb", true},
      {Text + std::string(5000, ' ') + "b", Text + "b", true}, // a run longer than a block
      {Text + "\r\n", Text, true},                             // trailing whitespace does not matter
      {Text + "b c", Text + "bc", true},
      {Text + "b", Text + "c", false},
      {Text + "\r\nb", Text + "\r\nbb", false},
      {Text + std::string(1, '\0') + "b", Text + "b", false}, // only the six blanks are skipped
  };
  for (const TCase &Case : Cases) {
    ASSERT_EQ(Case.Equal, WithoutWhitespace(Case.Left) == WithoutWhitespace(Case.Right));
    Put(true, L"f", Case.Left);
    Put(false, L"f", Case.Right);
    EXPECT_EQ(Case.Equal, !Judge(L"f").IsDifferent()) << Case.Left.size() << " against " << Case.Right.size();
  }
}

// Random texts of a few blocks, with breaks and blanks crowded around the block boundaries, and
// their variants with the breaks or blanks rewritten: each mode must agree with its model.
TEST_F(CompareRulesTest, IgnoringModesAgreeWithTheirModels) {
  std::mt19937 Random(5);
  auto Pick = [&](const char *Choices) { return Choices[Random() % std::strlen(Choices)]; };
  auto MakeText = [&](size_t Length) {
    std::string Text;
    while (Text.size() < Length) {
      const size_t ToBoundary = 4096 - Text.size() % 4096;
      if (ToBoundary < 4 || Random() % 8 == 0)
        Text += Pick("\r\n \t");
      else
        Text += Pick("abc");
    }
    return Text;
  };
  // The same text with blanks (whitespace mode) or line breaks (line-break mode) written anew.
  auto Rewrite = [&](const std::string &Text, bool Whitespace) {
    std::string Result;
    for (size_t I = 0; I < Text.size(); ++I) {
      const char C = Text[I];
      if (Whitespace) {
        if ((C == ' ' || C == '\t' || C == '\r' || C == '\n') && Random() % 3 == 0)
          Result += std::string(Random() % 3, Pick(" \t\r\n\v\f"));
        else
          Result += C;
        continue;
      }
      if (C != '\r' && C != '\n') {
        Result += C;
        continue;
      }
      // One break (CR LF, CR or LF) becomes one break.
      std::string Break(1, C);
      if (C == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n')
        Break += Text[++I];
      if (Random() % 2)
        Break = Random() % 2 ? "\r\n" : (Random() % 2 ? "\n" : "\r");
      // A CR just written and an LF that follows would make one break of two.
      if (!Result.empty() && Result.back() == '\r' && Break[0] == '\n')
        Break = "\r\n";
      Result += Break;
    }
    // Every other text gets one real difference somewhere.
    if (Random() % 2)
      Result.insert(Random() % (Result.size() + 1), 1, Pick("xz\n "));
    return Result;
  };
  int Equal[2] = {}, Different[2] = {};
  for (int Round = 0; Round < 60; ++Round)
    for (bool Whitespace : {false, true}) {
      ContentsOnly(Whitespace);
      std::string Left = MakeText(4096 * 2 + Random() % 4096);
      std::string Right = Rewrite(Left, Whitespace);
      if (Random() % 2)
        std::swap(Left, Right);
      const bool Expected = Whitespace ? WithoutWhitespace(Left) == WithoutWhitespace(Right)
                                       : WithUnifiedLineBreaks(Left) == WithUnifiedLineBreaks(Right);
      (Expected ? Equal : Different)[Whitespace]++;
      Put(true, L"r", Left);
      Put(false, L"r", Right);
      ASSERT_EQ(Expected, !Judge(L"r").IsDifferent())
          << (Whitespace ? "whitespace" : "line-break") << " mode, round " << Round;
    }
  // Both outcomes were seen in both modes, so the check means something.
  EXPECT_GT(Equal[0], 5);
  EXPECT_GT(Different[0], 5);
  EXPECT_GT(Equal[1], 5);
  EXPECT_GT(Different[1], 5);
}

// ---- Files that cannot be read ----

TEST_F(CompareRulesTest, LockedFilesGiveFailureLines) {
  Options.CompareContents = true;
  Put(true, L"db", "data");
  Put(false, L"db", "data");
  {
    HANDLE Lock =
        CreateFileW(Path(false, L"db").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, Lock);
    ExpectOutcome(dtFailedRight, drContents, true, false, Judge(L"db"));
    EXPECT_EQ(L"--!>C\tdb", TDifferenceItem(dtFailedRight, drContents, L"db", false).FormatLine());
    Options.SelectDifferencesOnBothPanels = true;
    ExpectOutcome(dtFailedRight, drContents, true, true, Judge(L"db"));
    Options.SelectDifferencesOnBothPanels = false;

    HANDLE LockLeft =
        CreateFileW(Path(true, L"db").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, LockLeft);
    ExpectOutcome(dtFailedBoth, drContents, true, true, Judge(L"db"));
    CloseHandle(Lock);
    ExpectOutcome(dtFailedLeft, drContents, false, true, Judge(L"db"));
    CloseHandle(LockLeft);
  }
  ExpectOutcome(dtEqual, drNone, false, false, Judge(L"db"));

  // Gone between the listing and the comparison.
  auto L = Info(true, L"db"), R = Info(false, L"db");
  ASSERT_TRUE(DeleteFileW(Path(true, L"db").c_str()));
  TCompareRules Rules(Options);
  TFileComparison Result = Rules.CompareFiles(*L, *R, LeftRoot, RightRoot, L"", L"db");
  EXPECT_EQ(dtFailedLeft, Result.DiffType);
  EXPECT_TRUE(R->GetSelected());
}

TEST_F(CompareRulesTest, LockedFileIsNotOpenedWhenTheCheapTestsDecide) {
  Options.CompareContents = true;
  Put(true, L"db", "data");
  Put(false, L"db", "data!");
  HANDLE Lock = CreateFileW(Path(false, L"db").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, Lock);
  ExpectOutcome(dtDifferent, drSize, true, true, Judge(L"db"));
  CloseHandle(Lock);
}

TEST_F(CompareRulesTest, FailingReadsSetTheirSide) {
  Put(true, L"a", std::string(5000, 'a'));
  Put(false, L"a", std::string(5000, 'a'));
  TCompareRules Rules(Options);
  // A pair read in one block, and one long enough for the right side's own thread.
  for (int64_t Size : {int64_t(5000), int64_t(3 * TCompareRules::ExactBlockSize)})
    for (bool LeftBad : {true, false})
      for (bool Ignoring : {false, true}) {
        SCOPED_TRACE(testing::Message() << "size " << Size << (LeftBad ? ", left" : ", right")
                                        << (Ignoring ? ", ignoring" : ", exact"));
        Options.IgnoreWhitespace = false;
        // A handle without read access: every ReadFile fails.
        auto Open = [&](bool Left) {
          return TFileHandle(CreateFileW(Path(Left, L"a").c_str(),
                                         Left == LeftBad ? FILE_READ_ATTRIBUTES : GENERIC_READ, 7, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
        };
        TFileHandle Left = Open(true), Right = Open(false);
        ASSERT_TRUE(Left && Right);
        bool LeftFailed = !LeftBad, RightFailed = LeftBad;
        bool Same = Ignoring ? Rules.CompareContentsIgnoring(Left.Get(), Right.Get(), L"l", L"r", Size, Size,
                                                             LeftFailed, RightFailed)
                             : Rules.CompareContentsExact(Left.Get(), Right.Get(), L"l", L"r", Size, Size,
                                                          LeftFailed, RightFailed);
        EXPECT_FALSE(Same);
        EXPECT_EQ(LeftBad, LeftFailed);
        EXPECT_EQ(!LeftBad, RightFailed);
      }
}

// ---- Abort ----

TEST_F(CompareRulesTest, AbortClosesBothFiles) {
  for (bool Ignoring : {false, true}) {
    Options.CompareContents = true;
    Options.CompareContentsIgnore = Ignoring;
    Put(true, L"long", std::string(3 * TCompareRules::ExactBlockSize, 'q'));
    Put(false, L"long", std::string(3 * TCompareRules::ExactBlockSize, 'q'));
    auto L = Info(true, L"long"), R = Info(false, L"long");
    int Updates = 0;
    TCompareRules Rules(Options, [&](const std::wstring &, const std::wstring &, int64_t Done, int64_t) {
      if (++Updates == 4) {
        EXPECT_GT(Done, 0);
        throw EAbort();
      }
    });
    EXPECT_THROW(Rules.CompareFiles(*L, *R, LeftRoot, RightRoot, L"", L"long"), EAbort);
    EXPECT_FALSE(L->GetSelected());
    EXPECT_FALSE(R->GetSelected());
    // Exclusive opens succeed only when the comparison let go of both files.
    for (bool Left : {true, false}) {
      HANDLE Exclusive = CreateFileW(Path(Left, L"long").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
      EXPECT_NE(INVALID_HANDLE_VALUE, Exclusive) << (Left ? "left" : "right") << " still open";
      CloseHandle(Exclusive);
    }
  }
}

TEST_F(CompareRulesTest, RelativeDirectoryAndLongRootsMakeThePaths) {
  Options.CompareContents = true;
  ASSERT_TRUE(CreateDirectoryW((Folder / L"left\\sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((Folder / L"right\\sub").c_str(), nullptr));
  Put(true, L"sub\\f", "1");
  Put(false, L"sub\\f", "2");
  auto L = Info(true, L"sub\\f"), R = Info(false, L"sub\\f");
  TCompareRules Rules(Options,
                      [&](const std::wstring &LeftText, const std::wstring &RightText, int64_t, int64_t) {
                        EXPECT_EQ(Folder / L"left\\sub\\f", LeftText);
                        EXPECT_EQ(Folder / L"right\\sub\\f", RightText);
                      });
  EXPECT_EQ(drContents, Rules.CompareFiles(*L, *R, LeftRoot, RightRoot, L"sub\\", L"f").Reason);
}
