// Difference lines: the exact text written for each kind, what the parser accepts and rejects,
// and loading a document the user edited.
#include "Differences.h"
#include "Streams.h"

#include "compare/ScratchFiles.h"

#include <gtest/gtest.h>

namespace {

TDifferenceItem Parsed(const std::wstring &Line, bool ExpectAccepted = true) {
  TDifferenceItem Item;
  EXPECT_EQ(ExpectAccepted, Item.ParseLine(Line)) << "line of " << Line.size() << " characters";
  return Item;
}

} // namespace

TEST(DifferenceLine, EveryKindHasItsMarkerAndEveryReasonItsCode) {
  const wchar_t *Markers[] = {L"    ", L"<<==", L"==>>", L"<---", L"--->", L"<!--",
                              L"--!>", L"<!!>", L"<-->", L"<DEL", L"DEL>"};
  for (int Type = 0; Type < DifferenceTypeCount; ++Type) {
    TDifferenceItem Item(static_cast<TDifferenceType>(Type), drTime, L"a.txt", false);
    EXPECT_EQ(std::wstring(Markers[Type]) + L"T\ta.txt", Item.FormatLine());
  }
  const wchar_t *Codes[] = {L"", L"F", L"F", L"T", L"S", L"C", L"D", L"X"};
  for (int Reason = 0; Reason < DifferenceReasonCount; ++Reason) {
    TDifferenceItem Item(dtOlderLeft, static_cast<TDifferenceReason>(Reason), L"src\\main.c", false);
    EXPECT_EQ(std::wstring(L"<---") + Codes[Reason] + L"\tsrc\\main.c", Item.FormatLine());
  }
}

TEST(DifferenceLine, RoundTripsEveryKindAndReasonButFileNameCase) {
  for (int Type = dtMissingLeft; Type < DifferenceTypeCount; ++Type)
    for (int Reason = drFile; Reason < DifferenceReasonCount; ++Reason)
      for (bool Directory : {false, true}) {
        TDifferenceItem Item(static_cast<TDifferenceType>(Type), static_cast<TDifferenceReason>(Reason),
                             L"sub dir\\file name.txt", Directory);
        TDifferenceItem Back = Parsed(Item.FormatLine());
        EXPECT_EQ(Item.DiffType, Back.DiffType);
        // "F" stands for both; it reads back as the presence reason.
        EXPECT_EQ(Reason == drFileName ? drFile : Item.Reason, Back.Reason);
        EXPECT_EQ(Item.RelativePath, Back.RelativePath);
        EXPECT_EQ(Directory, Back.IsDirectory);
      }
}

TEST(DifferenceLine, DirectoryGetsTheSuffix) {
  TDifferenceItem Item(dtMissingRight, drFile, L"build", true);
  EXPECT_EQ(L"==>>F\tbuild\\*", Item.FormatLine());
  TDifferenceItem Back = Parsed(Item.FormatLine());
  EXPECT_EQ(dtMissingRight, Back.DiffType);
  EXPECT_EQ(drFile, Back.Reason);
  EXPECT_EQ(L"build", Back.RelativePath);
  EXPECT_TRUE(Back.IsDirectory);
}

TEST(DifferenceLine, LengthLimits) {
  Parsed(L"<<==F", false);
  TDifferenceItem Empty = Parsed(L"<<==F\t");
  EXPECT_EQ(dtMissingLeft, Empty.DiffType);
  EXPECT_EQ(drFile, Empty.Reason);
  EXPECT_EQ(L"", Empty.RelativePath);
  Parsed(L"", false);
  Parsed(L"<-->", false);
}

TEST(DifferenceLine, RejectedLinesLeaveTheItemAlone) {
  TDifferenceItem Item(dtOlderRight, drSize, L"keep.me", true);
  for (const wchar_t *Line : {L"    F\tblanked.txt", L"<<=-F\tx", L"<<==f", L"==>>", L"Left: C:\\data",
                              L"\t<---T\tx", L"", L"<---T"}) {
    EXPECT_FALSE(Item.ParseLine(Line));
    EXPECT_EQ(dtOlderRight, Item.DiffType);
    EXPECT_EQ(drSize, Item.Reason);
    EXPECT_EQ(L"keep.me", Item.RelativePath);
    EXPECT_TRUE(Item.IsDirectory);
  }
  // "<--->" starts with "<---" and so is a line of that kind whose reason text is "->T".
  TDifferenceItem Shifted = Parsed(L"<--->T\tx");
  EXPECT_EQ(dtOlderLeft, Shifted.DiffType);
  EXPECT_EQ(drNone, Shifted.Reason);
}

TEST(DifferenceLine, UnusualButAcceptedLines) {
  TDifferenceItem NoTab = Parsed(L"<---Tsrc");
  EXPECT_EQ(dtOlderLeft, NoTab.DiffType);
  EXPECT_EQ(drNone, NoTab.Reason);
  EXPECT_EQ(L"", NoTab.RelativePath);

  TDifferenceItem TwoCodes = Parsed(L"<-->TS\tdata.bin");
  EXPECT_EQ(dtDifferent, TwoCodes.DiffType);
  EXPECT_EQ(drNone, TwoCodes.Reason);
  EXPECT_EQ(L"data.bin", TwoCodes.RelativePath);

  TDifferenceItem LowerCode = Parsed(L"<!--c\tlocked.db");
  EXPECT_EQ(dtFailedLeft, LowerCode.DiffType);
  EXPECT_EQ(drNone, LowerCode.Reason);

  TDifferenceItem NoReason = Parsed(L"--->\tx");
  EXPECT_EQ(dtOlderRight, NoReason.DiffType);
  EXPECT_EQ(drNone, NoReason.Reason);
  EXPECT_EQ(L"x", NoReason.RelativePath);

  // Nothing is trimmed, and only the first tab separates.
  TDifferenceItem Spaces = Parsed(L"<!!>C\t a b \tc ");
  EXPECT_EQ(L" a b \tc ", Spaces.RelativePath);

  TDifferenceItem Suffix = Parsed(L"<<==F\t\\*");
  EXPECT_EQ(L"\\*", Suffix.RelativePath);
  EXPECT_FALSE(Suffix.IsDirectory);
  TDifferenceItem ShortDir = Parsed(L"<<==F\tx\\*");
  EXPECT_EQ(L"x", ShortDir.RelativePath);
  EXPECT_TRUE(ShortDir.IsDirectory);
}

TEST(DifferenceList, LoadsTheDifferenceLinesOfAnEditedDocument) {
  TScratchFolder Folder;
  const std::wstring Name = Folder / L"doc.txt";
  {
    TTextStream Out(Name, fmCreate);
    Out.SetEncoding(teUtf8);
    for (const wchar_t *Line :
         {L"Left: C:\\a", L"Right: D:\\b", L"", L"<<==F\tdocs\\readme.txt", L"    F\tuser blanked this",
          L"==>>F\tbuild\\*", L"<--->x", L"<!--C\t\u4e2d\u6587.db", L"<-->S\tdata.bin"})
      Out.WriteLine(Line);
  }
  TDifferenceList List;
  List.Add(std::make_unique<TDifferenceItem>(dtEqual, drNone, L"stale", false));
  List.LoadFromTextFile(Name);
  ASSERT_EQ(5u, List.Count());
  EXPECT_EQ(L"docs\\readme.txt", List[0].RelativePath);
  EXPECT_EQ(L"build", List[1].RelativePath);
  EXPECT_TRUE(List[1].IsDirectory);
  EXPECT_EQ(dtOlderLeft, List[2].DiffType);
  EXPECT_EQ(drNone, List[2].Reason);
  EXPECT_EQ(L"\u4e2d\u6587.db", List[3].RelativePath);
  EXPECT_EQ(dtDifferent, List[4].DiffType);

  EXPECT_TRUE(List.HasDifference(dtMissingLeft));
  EXPECT_TRUE(List.HasDifference(dtMissingRight));
  EXPECT_TRUE(List.HasDifference(dtFailedLeft));
  EXPECT_FALSE(List.HasDifference(dtEqual));
  EXPECT_FALSE(List.HasDifference(dtFailedBoth));

  // The file was closed: it can be replaced at once.
  EXPECT_TRUE(DeleteFileW(Name.c_str()));
}

TEST(DifferenceList, ReadsUtf16AndLineEndsOfEveryKind) {
  TScratchFolder Folder;
  const std::wstring Name = Folder / L"doc16.txt";
  std::wstring Text = L"\xFEFF<<==F\ta\r<---T\tb\n--->S\tc\r\n<!!>C\td";
  std::string Bytes(reinterpret_cast<const char *>(Text.data()), Text.size() * 2);
  ASSERT_TRUE(WriteBytes(Name, Bytes));
  TDifferenceList List;
  List.LoadFromTextFile(Name);
  ASSERT_EQ(4u, List.Count());
  EXPECT_EQ(L"a", List[0].RelativePath);
  EXPECT_EQ(L"b", List[1].RelativePath);
  EXPECT_EQ(L"c", List[2].RelativePath);
  EXPECT_EQ(L"d", List[3].RelativePath);
}

TEST(DifferenceList, MissingFileRaisesAndLeavesTheListEmpty) {
  TScratchFolder Folder;
  TDifferenceList List;
  List.Add(std::make_unique<TDifferenceItem>(dtMissingLeft, drFile, L"x", false));
  EXPECT_THROW(List.LoadFromTextFile(Folder / L"none.txt"), Exception);
  EXPECT_EQ(0u, List.Count());
  EXPECT_THROW(List.Item(0), EDifferenceListError);
}
