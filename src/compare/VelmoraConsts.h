#pragma once

#include <cstdint>

// The kinds of difference between the two trees and the reason codes of a difference line.
// Left and right are the screen sides of FAR's panels. The ordinal values are part of the
// document format: a line's marker is looked up in this order, the first match wins.

enum TDifferenceType : uint8_t {
  dtEqual,        // never written; a line with this marker is not a difference
  dtMissingLeft,  // only on the right
  dtMissingRight, // only on the left
  dtOlderLeft,    // the left copy is older (or the right one is a directory, the left a file)
  dtOlderRight,   // the right copy is older (or the left one is a directory, the right a file)
  dtFailedLeft,   // reading the left side failed
  dtFailedRight,  // reading the right side failed
  dtFailedBoth,   // reading failed on both sides
  dtDifferent,    // both exist and differ, neither is newer
  dtDeleteLeft,   // the left entry is to be deleted (this line alone)
  dtDeleteRight,  // the right entry is to be deleted (this line alone)
};
inline constexpr int DifferenceTypeCount = dtDeleteRight + 1;

enum TDifferenceReason : uint8_t {
  drNone,     // not recognised on reading; never recorded
  drFile,     // presence or kind of the entry differs (also directory loops)
  drFileName, // the names differ in letter case only; reads back as drFile
  drTime,
  drSize,
  drContents, // also: reading a side failed
  drDeleted,  // a remembered pair: deleted on the other side since the last run
  drConflict, // a remembered pair: changed on both sides, or changed on one and deleted on the other
};
inline constexpr int DifferenceReasonCount = drConflict + 1;

// The four characters that start a difference line, by type.
inline constexpr const wchar_t *DifferenceMarkers[DifferenceTypeCount] = {
    L"    ", L"<<==", L"==>>", L"<---", L"--->", L"<!--", L"--!>", L"<!!>", L"<-->", L"<DEL", L"DEL>",
};
inline constexpr int DifferenceMarkerLength = 4;

// The code written after the marker, by reason.
inline constexpr const wchar_t *DifferenceReasonCodes[DifferenceReasonCount] = {
    L"", L"F", L"F", L"T", L"S", L"C", L"D", L"X",
};

// Marks a directory at the end of a line's path.
inline constexpr const wchar_t *DirectorySuffix = L"\\*";
