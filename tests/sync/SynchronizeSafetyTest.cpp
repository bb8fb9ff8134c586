// The nets a run spreads under the user's files: the comparison's masks, the Recycle Bin, copies
// read back, a warning before much is deleted and one before the copies overfill a disk.

#include "SyncTaskTestSupport.h"

#include <gtest/gtest.h>

using namespace SyncTask;

namespace {

class SynchronizeSafetyTest : public TSyncRunTest {};

TEST_F(SynchronizeSafetyTest, WhatTheMasksLeaveOutIsNeitherCopiedNorDeleted) {
  MakeDir(Left + L"\\gone");
  MakeDir(Left + L"\\gone\\keep");
  WriteFile(Left + L"\\gone\\a.txt", "a");
  WriteFile(Left + L"\\gone\\b.tmp", "b");
  WriteFile(Left + L"\\gone\\keep\\x.txt", "x");
  MakeDir(Right + L"\\copied");
  MakeDir(Right + L"\\copied\\keep");
  WriteFile(Right + L"\\copied\\c.txt", "c");
  WriteFile(Right + L"\\copied\\d.tmp", "d");
  WriteFile(Right + L"\\copied\\keep\\y.txt", "y");
  OpenDocument({Line(dtMissingRight, drFile, L"gone", true), Line(dtMissingLeft, drFile, L"copied", true)},
               {}, {}, TNameFilter(L"", L"*.tmp,keep"));
  User().Check(Text(MSyncDeleteOnLeft)).Press(Text(MOk));
  User().Press(Text(MDelete));
  // Both items are done: what stays is not the run's.
  EXPECT_FALSE(CloseDocument());
  EXPECT_EQ((std::vector<std::wstring>{L"b.tmp", L"keep"}), Names(Left + L"\\gone"));
  EXPECT_EQ("x", ReadFile(Left + L"\\gone\\keep\\x.txt"));
  EXPECT_EQ((std::vector<std::wstring>{L"c.txt"}), Names(Left + L"\\copied"));
}

} // namespace
