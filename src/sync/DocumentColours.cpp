#include "DocumentColours.h"

#include "Differences.h"
#include "FarEditor.h"

#include <algorithm>

namespace DocumentColours {

namespace {

// FAR's palette indexes (the console's sixteen colours).
enum : unsigned char {
  Black = 0,
  Magenta = 5,
  Red = 4,
  LightGreen = 10,
  LightCyan = 11,
  LightRed = 12,
  Yellow = 14,
  White = 15,
};

FarColor IndexColor(unsigned char Foreground, unsigned char Background) {
  FarColor Color{};
  Color.Flags = FCF_FG_INDEX | FCF_BG_INDEX;
  Color.ForegroundIndex = color_index{Foreground, 0, 0, 0xFF};
  Color.BackgroundIndex = color_index{Background, 0, 0, 0xFF};
  Color.UnderlineIndex = color_index{Foreground, 0, 0, 0xFF};
  return Color;
}

} // namespace

TLineKind KindOf(TDifferenceType Type) {
  switch (Type) {
  case dtOlderRight:
    return lkCopyToRight;
  case dtOlderLeft:
    return lkCopyToLeft;
  case dtMissingLeft:
  case dtMissingRight:
    return lkOneSided;
  case dtDifferent:
    return lkDifferent;
  case dtFailedLeft:
  case dtFailedRight:
  case dtFailedBoth:
    return lkUnreadable;
  case dtDeleteLeft:
  case dtDeleteRight:
    return lkDelete;
  default:
    return lkNone;
  }
}

TLineKind KindOfLine(const std::wstring &Line) {
  TDifferenceItem Item;
  return Item.ParseLine(Line) ? KindOf(Item.DiffType) : lkNone;
}

FarColor ColorOf(TLineKind Kind) {
  switch (Kind) {
  case lkCopyToRight:
    return IndexColor(Black, LightCyan);
  case lkCopyToLeft:
    return IndexColor(Black, LightGreen);
  case lkOneSided:
    return IndexColor(Black, Yellow);
  case lkDifferent:
    return IndexColor(White, Magenta);
  case lkUnreadable:
    return IndexColor(White, Red);
  case lkDelete:
    return IndexColor(Black, LightRed);
  default:
    return FarColor{};
  }
}

void ColourVisibleLines(const TFarEditorManaged &Editor) {
  EditorInfo Info;
  if (!Editor.GetInfo(Info))
    return;
  const intptr_t Id = Editor.GetEditorId();
  const intptr_t Last = std::min(Info.TopScreenLine + Info.WindowSizeY, Info.TotalLines);
  std::wstring Line;
  for (intptr_t Number = Info.TopScreenLine; Number < Last; ++Number) {
    if (!Editor.GetString(Number, Line))
      break;
    // A line the user changed may have been a difference before: its old colour goes first.
    TFarEditor::DeleteColors(Id, Number);
    const TLineKind Kind = KindOfLine(Line);
    if (Kind != lkNone && !Line.empty())
      TFarEditor::AddColor(Id, Number, 0, static_cast<intptr_t>(Line.size()) - 1, ColorOf(Kind));
  }
}

} // namespace DocumentColours
