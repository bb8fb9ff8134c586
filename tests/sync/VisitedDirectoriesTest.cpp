// Loop protection on real directories: a link back to an ancestor is caught whatever route or
// spelling leads there; siblings that meet in one directory are not mistaken for a loop.
#include "VisitedDirectories.h"
#include "Files.h"

#include "compare/ScratchFiles.h"

#include <gtest/gtest.h>

namespace {

std::wstring Upper(std::wstring Text) {
  CharUpperBuffW(Text.data(), DWORD(Text.size()));
  return Text;
}

std::wstring Lower(std::wstring Text) {
  CharLowerBuffW(Text.data(), DWORD(Text.size()));
  return Text;
}

} // namespace

TEST(VisitedDirectories, ChainFollowsPushAndPop) {
  TScratchFolder Root;
  const std::wstring A = Root / L"A", B = Root / L"A\\B";
  ASSERT_TRUE(CreateDirectoryW(A.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(B.c_str(), nullptr));

  TVisitedDirectories Chain;
  Chain.Pop(); // nothing to leave
  EXPECT_TRUE(Chain.Empty());
  EXPECT_FALSE(Chain.Contains(A));

  Chain.Push(A);
  Chain.Push(B);
  EXPECT_TRUE(Chain.Contains(A));
  EXPECT_TRUE(Chain.Contains(B));
  EXPECT_FALSE(Chain.Contains(Root.Path()));
  Chain.Pop();
  EXPECT_FALSE(Chain.Contains(B));
  EXPECT_TRUE(Chain.Contains(A));
  Chain.Pop();
  Chain.Pop();
  EXPECT_TRUE(Chain.Empty());
}

TEST(VisitedDirectories, SpellingDoesNotMatter) {
  TScratchFolder Root;
  const std::wstring A = Root / L"Mixed Case";
  ASSERT_TRUE(CreateDirectoryW(A.c_str(), nullptr));
  TVisitedDirectories Chain;
  Chain.Push(A + L"\\");
  EXPECT_TRUE(Chain.Contains(A));
  EXPECT_TRUE(Chain.Contains(Upper(A)));
  EXPECT_TRUE(Chain.Contains(Lower(A) + L"\\"));
  EXPECT_TRUE(Chain.Contains(Root / L"Mixed Case\\.\\..\\Mixed Case"));
}

TEST(VisitedDirectories, ScopeLeavesTheChainAsItWasAfterAnException) {
  TScratchFolder Root;
  TVisitedDirectories Chain;
  Chain.Push(Root.Path());
  try {
    TVisitedDirectoryScope Level(Chain, Root.Path() + L"\\sub");
    EXPECT_EQ(2u, Chain.Count());
    throw 1;
  } catch (int) {
  }
  EXPECT_EQ(1u, Chain.Count());
  EXPECT_TRUE(Chain.Contains(Root.Path()));
}

TEST(VisitedDirectories, LinkBackToAnAncestorIsCaught) {
  TScratchFolder Root;
  const std::wstring A = Root / L"A", Sub = Root / L"A\\sub", Loop = Root / L"A\\sub\\loop";
  ASSERT_TRUE(CreateDirectoryW(A.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(Sub.c_str(), nullptr));
  ASSERT_TRUE(MakeDirectoryLink(Loop, A)) << "no directory links on this system";

  // The walk's view: the link is an ordinary-looking subdirectory of sub.
  TVisitedDirectories Chain;
  Chain.Push(LongPathName(A) + L"\\");
  Chain.Push(LongPathName(Sub) + L"\\");
  EXPECT_TRUE(Chain.Contains(LongPathName(Loop) + L"\\"));
  EXPECT_TRUE(Chain.Contains(LongPathName(Upper(Loop))));
  // Entering the real directory again through the loop would also be caught one level down.
  EXPECT_TRUE(Chain.Contains(LongPathName(Loop + L"\\sub")));
  Chain.Pop();
  Chain.Pop();
  EXPECT_FALSE(Chain.Contains(LongPathName(Loop)));
}

TEST(VisitedDirectories, SiblingLinksToOneDirectoryAreBothEntered) {
  TScratchFolder Root;
  const std::wstring Walk = Root / L"walk", Shared = Root / L"shared";
  ASSERT_TRUE(CreateDirectoryW(Walk.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(Shared.c_str(), nullptr));
  ASSERT_TRUE(MakeDirectoryLink(Walk + L"\\one", Shared)) << "no directory links on this system";
  ASSERT_TRUE(MakeDirectoryLink(Walk + L"\\two", Shared));

  TVisitedDirectories Chain;
  Chain.Push(Walk);
  EXPECT_FALSE(Chain.Contains(Walk + L"\\one"));
  {
    TVisitedDirectoryScope One(Chain, Walk + L"\\one");
    // While inside one, two leads to the same real directory: that is the ancestor test.
    EXPECT_TRUE(Chain.Contains(Walk + L"\\two"));
  }
  EXPECT_FALSE(Chain.Contains(Walk + L"\\two"));
  TVisitedDirectoryScope Two(Chain, Walk + L"\\two");
  EXPECT_EQ(2u, Chain.Count());
}

TEST(VisitedDirectories, MissingDirectoryFallsBackToItsName) {
  TScratchFolder Root;
  TVisitedDirectories Chain;
  Chain.Push(Root / L"gone");
  EXPECT_TRUE(Chain.Contains(Root / L"GONE\\"));
  EXPECT_FALSE(Chain.Contains(Root / L"gone2"));
  EXPECT_EQ(TVisitedDirectories::CanonicalKey(Root / L"gone"), Upper(ExpandFileName(Root / L"gone")));
}
