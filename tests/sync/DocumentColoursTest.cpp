// The differences document in colour, in the host's editor: the colours each kind of line gets,
// only on the lines the window shows, none on the header, recoloured as soon as a line changes,
// and none at all with the option off.

#include "DocumentColours.h"
#include "SyncTaskTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <tuple>

using namespace SyncTask;
using DocumentColours::TLineKind;

namespace {

bool SameGuid(const GUID &A, const GUID &B) {
  return std::memcmp(&A, &B, sizeof(GUID)) == 0;
}

bool SameColor(const FarColor &A, const FarColor &B) {
  return A.Flags == B.Flags && A.ForegroundColor == B.ForegroundColor &&
         A.BackgroundColor == B.BackgroundColor;
}

// A line of each marker, and the kind its colour stands for.
const std::vector<std::pair<std::wstring, TLineKind>> &Markers() {
  static const std::vector<std::pair<std::wstring, TLineKind>> Table = {
      {L"--->T\t", DocumentColours::lkCopyToRight}, {L"<---T\t", DocumentColours::lkCopyToLeft},
      {L"==>>F\t", DocumentColours::lkOneSided},    {L"<<==F\t", DocumentColours::lkOneSided},
      {L"<-->S\t", DocumentColours::lkDifferent},   {L"<!--C\t", DocumentColours::lkUnreadable},
      {L"--!>C\t", DocumentColours::lkUnreadable},  {L"<!!>C\t", DocumentColours::lkUnreadable},
      {L"<DELD\t", DocumentColours::lkDelete},      {L"DEL>D\t", DocumentColours::lkDelete},
  };
  return Table;
}

class DocumentColoursTest : public TSyncHostTest {
protected:
  // Sixty difference lines cycling through every marker: more than a window shows.
  TSynchronizeTask &OpenLongDocument() {
    std::vector<std::wstring> Lines;
    for (size_t I = 0; I < 60; ++I)
      Lines.push_back(Markers()[I % Markers().size()].first + L"file" + std::to_wstring(I) + L".txt");
    return OpenDocument(Lines);
  }
  // The plug-in's colours on a line of the current window.
  std::vector<THostEditorColor> PluginColors(size_t Line) {
    std::vector<THostEditorColor> Result;
    for (const THostEditorColor &Color : Window().Colors(Line))
      if (SameGuid(Color.Owner, VelmoraPluginGuid))
        Result.push_back(Color);
    return Result;
  }
  // The line is shown in the colour of its kind, over its whole text, at the normal priority.
  void ExpectColoured(size_t Line, TLineKind Kind) {
    const std::vector<THostEditorColor> Colors = PluginColors(Line);
    ASSERT_EQ(1u, Colors.size()) << "line " << Line;
    EXPECT_EQ(0, Colors[0].StartPos);
    EXPECT_EQ(intptr_t(Window().Line(Line).size()) - 1, Colors[0].EndPos);
    EXPECT_EQ(EDITOR_COLOR_NORMAL_PRIORITY, Colors[0].Priority);
    EXPECT_TRUE(SameColor(DocumentColours::ColorOf(Kind), Colors[0].Color)) << "line " << Line;
  }
  bool Visible(size_t Line) {
    return intptr_t(Line) >= Window().TopScreenLine() &&
           intptr_t(Line) < Window().TopScreenLine() + Window().WindowHeight();
  }
};

} // namespace

TEST(DocumentColoursKinds, EachMarkerHasTheColourOfWhatTheRunDoesAndEveryPairReads) {
  std::set<std::tuple<unsigned, unsigned>> Pairs;
  for (const auto &[Marker, Kind] : Markers()) {
    EXPECT_EQ(Kind, DocumentColours::KindOfLine(Marker + L"a.txt")) << HostUtf8(Marker);
    const FarColor Color = DocumentColours::ColorOf(Kind);
    // Palette colours, opaque, both set and different: the pair reads on any scheme.
    EXPECT_EQ(FCF_FG_INDEX | FCF_BG_INDEX, Color.Flags);
    EXPECT_EQ(0xFF, Color.ForegroundIndex.a);
    EXPECT_EQ(0xFF, Color.BackgroundIndex.a);
    EXPECT_NE(Color.ForegroundIndex.i, Color.BackgroundIndex.i);
    Pairs.insert({Color.ForegroundIndex.i, Color.BackgroundIndex.i});
  }
  // Six kinds, six different looks.
  EXPECT_EQ(6u, Pairs.size());
  for (const wchar_t *Other : {L"", L"Velmora3: compare", L"=== a.txt", L"--->", L"xxxxT\ta.txt"})
    EXPECT_EQ(DocumentColours::lkNone, DocumentColours::KindOfLine(Other)) << HostUtf8(Other);
}

TEST_F(DocumentColoursTest, OnlyTheVisibleDifferenceLinesAreColouredAndNeverTheHeader) {
  OpenLongDocument();
  // FAR draws the window once the plug-in returned to it.
  Window().Draw();
  ASSERT_GT(Window().LineCount(), size_t(Window().TopScreenLine() + Window().WindowHeight()));
  for (size_t Line = 0; Line < Window().LineCount(); ++Line) {
    const TLineKind Kind = DocumentColours::KindOfLine(Window().Line(Line));
    if (Kind == DocumentColours::lkNone || !Visible(Line))
      EXPECT_TRUE(PluginColors(Line).empty()) << "line " << Line;
    else
      ExpectColoured(Line, Kind);
  }
  // The header in view too: its lines keep the editor's colours.
  Window().ScrollTo(0);
  for (intptr_t Line = 0; Line < HeaderLines; ++Line)
    EXPECT_TRUE(PluginColors(size_t(Line)).empty()) << "line " << Line;

  // Scrolled to the end, the lines now in view get their colours.
  const size_t Last = Window().LineCount() - 2;
  Window().ScrollTo(intptr_t(Last) - 5);
  ASSERT_TRUE(Visible(Last));
  ExpectColoured(Last, DocumentColours::KindOfLine(Window().Line(Last)));
}

TEST_F(DocumentColoursTest, AnEditedLineIsRecolouredAtOnce) {
  OpenLongDocument();
  Window().Draw();
  const size_t Line = size_t(HeaderLines); // --->T file0.txt
  ExpectColoured(Line, DocumentColours::lkCopyToRight);

  // The user overwrites the marker: the next drawing, right after the edit, has the new colour.
  Window().ReplaceLine(Line, L"<<==F\tfile0.txt");
  ExpectColoured(Line, DocumentColours::lkOneSided);
  // A marker blanked out: the line is no difference any more and loses its colour.
  Window().ReplaceLine(Line, L"    F\tfile0.txt");
  EXPECT_TRUE(PluginColors(Line).empty());
  // Alt+F1 on a line of differing files turns it to a copy to the left.
  const size_t Different = size_t(HeaderLines) + 4;
  ASSERT_EQ(DocumentColours::lkDifferent, DocumentColours::KindOfLine(Window().Line(Different)));
  Window().MoveCursor(intptr_t(Different), 0);
  EXPECT_TRUE(Window().PressKey(VK_F1, LEFT_ALT_PRESSED));
  ExpectColoured(Different, DocumentColours::lkCopyToLeft);
  // A line typed in by hand is coloured as the user finishes typing it.
  Window().InsertLine(Line, L"");
  Window().MoveCursor(intptr_t(Line), 0);
  Window().TypeText(L"--->T\tnew.txt");
  ExpectColoured(Line, DocumentColours::lkCopyToRight);
}

TEST_F(DocumentColoursTest, WithTheOptionOffNothingIsColoured) {
  SetOption(&TVelmoraOptions::ColourDocument, false);
  OpenLongDocument();
  Window().Draw();
  Window().ReplaceLine(size_t(HeaderLines), L"<---T\tfile0.txt");
  for (size_t Line = 0; Line < Window().LineCount(); ++Line)
    EXPECT_TRUE(PluginColors(Line).empty()) << "line " << Line;
}
