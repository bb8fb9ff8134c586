#pragma once

#include "FarApi.h"
#include "VelmoraConsts.h"

#include <cstdint>
#include <string>

class TFarEditorManaged;

// The differences document in colour: each difference line in the colours of what the run will
// do with it, every other line in the editor's own.
namespace DocumentColours {

// What a line stands for, as its colour shows it.
enum TLineKind { lkNone, lkCopyToRight, lkCopyToLeft, lkOneSided, lkDifferent, lkUnreadable, lkDelete };

TLineKind KindOf(TDifferenceType Type);
// The kind of a document line; lkNone for a line that is no difference.
TLineKind KindOfLine(const std::wstring &Line);
// Foreground and background from FAR's 16-colour palette, both set, so that a pair reads the same
// on a light and on a dark colour scheme.
FarColor ColorOf(TLineKind Kind);

// Colours the lines the window shows now, and only those, so that a long document scrolls as fast
// as a plain one: each line loses the plug-in's colours and gets the one its marker asks for.
void ColourVisibleLines(const TFarEditorManaged &Editor);

} // namespace DocumentColours
