#pragma once

#include <string>
#include <vector>

// The chain of directories a walk is descending, from its root down to the directory being
// processed, kept by their real location on disk. A junction or link that leads back into one of
// them is recognised before the walk enters it, so a recursive walk cannot loop. Only a route back
// into an ancestor is refused: the same directory reached by two routes that are not nested is
// walked twice.
class TVisitedDirectories {
public:
  TVisitedDirectories() = default;
  TVisitedDirectories(const TVisitedDirectories &) = delete;
  TVisitedDirectories &operator=(const TVisitedDirectories &) = delete;

  // Enters Directory (duplicates are kept: the chain mirrors the walk).
  void Push(const std::wstring &Directory);
  // Leaves the innermost directory; nothing on an empty chain.
  void Pop();
  // Whether Directory is one of the directories on the chain.
  bool Contains(const std::wstring &Directory) const;

  // The same for a directory whose key is already known, so that a walk which needs the real path
  // anyway resolves each directory once.
  void PushKey(std::wstring Key);
  bool ContainsKey(const std::wstring &Key) const;

  size_t Count() const { return FKeys.size(); }
  bool Empty() const { return FKeys.empty(); }

  // The identity of a directory: its real path (through junctions, links and letter case; the
  // expanded name when the system cannot tell), one trailing backslash removed, upper case by
  // the user's locale.
  static std::wstring CanonicalKey(const std::wstring &Directory);
  // CanonicalKey of a directory from its RealPathName.
  static std::wstring KeyOfRealPath(const std::wstring &RealPath);

private:
  std::vector<std::wstring> FKeys;
};

// Pushes on construction and pops on destruction, so a walk left by an exception leaves the chain
// as it found it.
class TVisitedDirectoryScope {
public:
  TVisitedDirectoryScope(TVisitedDirectories &Chain, const std::wstring &Directory) : FChain(Chain) {
    FChain.Push(Directory);
  }
  ~TVisitedDirectoryScope() { FChain.Pop(); }
  TVisitedDirectoryScope(const TVisitedDirectoryScope &) = delete;
  TVisitedDirectoryScope &operator=(const TVisitedDirectoryScope &) = delete;

private:
  TVisitedDirectories &FChain;
};

// The same for a directory whose key is already known.
class TVisitedKeyScope {
public:
  TVisitedKeyScope(TVisitedDirectories &Chain, std::wstring Key) : FChain(Chain) {
    FChain.PushKey(std::move(Key));
  }
  ~TVisitedKeyScope() { FChain.Pop(); }
  TVisitedKeyScope(const TVisitedKeyScope &) = delete;
  TVisitedKeyScope &operator=(const TVisitedKeyScope &) = delete;

private:
  TVisitedDirectories &FChain;
};
