#pragma once
// Growing storage kept in blocks of 32 KB. The heap hands blocks of that size back from one use
// to the next, while a block as large as a whole large array is fresh memory every time, paid for
// page by page (under wine a megabyte costs milliseconds).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

constexpr size_t StorageBlockBytes = 32768;

// An array of plain values that only grows (or is cleared).
template <class T> class TBlockArray {
public:
  static constexpr size_t PerBlock = std::max<size_t>(1, StorageBlockBytes / sizeof(T));

  T &operator[](size_t Index) { return FBlocks[Index / PerBlock][Index % PerBlock]; }
  const T &operator[](size_t Index) const { return FBlocks[Index / PerBlock][Index % PerBlock]; }
  size_t size() const { return FSize; }
  bool empty() const { return FSize == 0; }
  void push_back(const T &Value) {
    Grow(FSize + 1);
    (*this)[FSize++] = Value;
  }
  // Size copies of Value.
  void assign(size_t Size, const T &Value) {
    Grow(Size);
    FSize = Size;
    for (size_t Block = 0; Block * PerBlock < Size; ++Block)
      std::fill_n(FBlocks[Block].get(), std::min(PerBlock, Size - Block * PerBlock), Value);
  }
  void clear() {
    FBlocks.clear();
    FSize = 0;
  }

private:
  void Grow(size_t Size) {
    while (FBlocks.size() * PerBlock < Size)
      FBlocks.push_back(std::make_unique<T[]>(PerBlock));
  }

  std::vector<std::unique_ptr<T[]>> FBlocks;
  size_t FSize = 0;
};

// Texts one after another, each whole within its block, found again by the position given when
// it was added. A text longer than a block gets a block of its own.
class TTextBlocks {
public:
  // Room for a text of Units at the end; Position finds it again.
  wchar_t *Extend(size_t Units, uint32_t &Position) {
    if (FBlocks.empty() || FUsed + Units > FCapacity) {
      FCapacity = std::max(Units, BlockUnits);
      FBlocks.push_back(std::unique_ptr<wchar_t[]>(new wchar_t[FCapacity]));
      FUsed = 0;
    }
    Position = static_cast<uint32_t>(((FBlocks.size() - 1) << OffsetBits) | FUsed);
    wchar_t *Text = FBlocks.back().get() + FUsed;
    FUsed += Units;
    FUnits += Units;
    return Text;
  }
  // The two parts as one text.
  uint32_t Append(std::wstring_view First, std::wstring_view Second = {}) {
    uint32_t Position = 0;
    wchar_t *Text = Extend(First.size() + Second.size(), Position);
    std::copy(Second.begin(), Second.end(), std::copy(First.begin(), First.end(), Text));
    return Position;
  }
  std::wstring_view View(uint32_t Position, size_t Length) const {
    return {FBlocks[Position >> OffsetBits].get() + (Position & ((1u << OffsetBits) - 1)), Length};
  }
  // The units of every text added.
  size_t Units() const { return FUnits; }
  void clear() {
    FBlocks.clear();
    FUsed = FCapacity = FUnits = 0;
  }

private:
  static constexpr size_t BlockUnits = StorageBlockBytes / sizeof(wchar_t);
  // A text starts below BlockUnits in its block, or at 0 in a block of its own.
  static constexpr unsigned OffsetBits = 15;
  static_assert(BlockUnits <= (size_t(1) << OffsetBits));

  std::vector<std::unique_ptr<wchar_t[]>> FBlocks;
  size_t FUsed = 0, FCapacity = 0, FUnits = 0;
};
