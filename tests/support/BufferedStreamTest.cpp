#include "Streams.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace {

// The first offset where two byte strings differ, or -1; keeps failures short.
int64_t FirstDifference(const std::string &Left, const std::string &Right) {
  const size_t Common = std::min(Left.size(), Right.size());
  for (size_t Index = 0; Index < Common; ++Index)
    if (Left[Index] != Right[Index])
      return static_cast<int64_t>(Index);
  return Left.size() == Right.size() ? -1 : static_cast<int64_t>(Common);
}

std::string Pattern(size_t Size) {
  std::string Result(Size, '\0');
  for (size_t Index = 0; Index < Size; ++Index)
    Result[Index] = static_cast<char>('A' + Index % 26);
  return Result;
}

// A buffered stream over a real file, with a small buffer so that every path is reached.
struct TBufferedFile {
  TBufferedFile(const std::wstring &Name, int32_t BufferSize)
      : Stream(new TFileStream(Name, fmOpenReadWrite | fmShareDenyWrite), BufferSize, true) {}
  TBufferedStream Stream;
};

std::string ReadAt(TStream &Stream, int64_t Position, int32_t Count) {
  std::string Result(static_cast<size_t>(Count), '\0');
  Stream.Seek(Position, soBeginning);
  Result.resize(static_cast<size_t>(Stream.Read(Result.data(), Count)));
  return Result;
}

void WriteAt(TStream &Stream, int64_t Position, const std::string &Bytes) {
  Stream.Seek(Position, soBeginning);
  ASSERT_EQ(Stream.Write(Bytes.data(), static_cast<int32_t>(Bytes.size())),
            static_cast<int32_t>(Bytes.size()));
}

// Accepts only a limited number of bytes, like a full disk.
class TShortStream : public TStream {
public:
  explicit TShortStream(int32_t Room) : FRoom(Room) {}
  int32_t Read(void *, int32_t) override { return 0; }
  int32_t Write(const void *, int32_t Count) override {
    const int32_t Done = std::min(Count, FRoom);
    FRoom -= Done;
    FPosition += Done;
    return Done;
  }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    FPosition = Origin == soBeginning ? Offset : FPosition + Offset;
    return FPosition;
  }
  void SetSize(int64_t) override {}

private:
  int32_t FRoom;
  int64_t FPosition = 0;
};

} // namespace

TEST(BufferedStream, WriteAfterSeekPastTheBufferedBytesChangesNothingElse) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"data.bin");
  const std::string Original = Pattern(200);
  WriteAllBytes(Name, Original);
  std::string Expected = Original;
  {
    TBufferedFile File(Name, 64);
    // The buffer holds only the 4 bytes written at 0; position 20 is inside its capacity but
    // past its valid part.
    WriteAt(File.Stream, 0, "1234");
    WriteAt(File.Stream, 20, "wxyz");
    Expected.replace(0, 4, "1234");
    Expected.replace(20, 4, "wxyz");
    EXPECT_EQ(ReadAt(File.Stream, 0, 200), Expected);
    File.Stream.Flush();
  }
  EXPECT_EQ(ReadAllBytes(Name), Expected);
}

TEST(BufferedStream, WriteAfterSeekPastTheEndLeavesZerosInTheGap) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"data.bin");
  WriteAllBytes(Name, "0123456789");
  {
    TBufferedFile File(Name, 64);
    EXPECT_EQ(ReadAt(File.Stream, 0, 5), "01234");
    WriteAt(File.Stream, 30, "ab");
    File.Stream.Flush();
  }
  EXPECT_EQ(ReadAllBytes(Name), "0123456789" + std::string(20, '\0') + "ab");
}

TEST(BufferedStream, WritesJoiningTheValidPartStayInOneBuffer) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"data.bin");
  const std::string Original = Pattern(100);
  WriteAllBytes(Name, Original);
  {
    TBufferedFile File(Name, 32);
    EXPECT_EQ(ReadAt(File.Stream, 10, 4), Original.substr(10, 4));
    WriteAt(File.Stream, 12, "##");                 // overlaps the valid part
    WriteAt(File.Stream, 40, "!!!!");               // crosses the end of the buffer (10..41)
    WriteAt(File.Stream, 60, std::string(40, '=')); // up to the end of the file
    File.Stream.Flush();
  }
  std::string Expected = Original;
  Expected.replace(12, 2, "##");
  Expected.replace(40, 4, "!!!!");
  Expected.replace(60, 40, std::string(40, '='));
  EXPECT_EQ(ReadAllBytes(Name), Expected);
}

TEST(BufferedStream, LargeTransfersBypassTheBuffer) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"data.bin");
  const std::string Original = Pattern(10000);
  WriteAllBytes(Name, "");
  {
    TBufferedFile File(Name, 256);
    WriteAt(File.Stream, 0, "head");
    WriteAt(File.Stream, 4, Original);
    EXPECT_EQ(File.Stream.GetPosition(), 10004);
    EXPECT_EQ(ReadAt(File.Stream, 0, 10004), "head" + Original);
    EXPECT_EQ(ReadAt(File.Stream, 9990, 100), Original.substr(9986));
  }
  EXPECT_EQ(ReadAllBytes(Name), "head" + Original);
}

TEST(BufferedStream, SizeSeekFromTheEndAndSetSize) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"data.bin");
  WriteAllBytes(Name, Pattern(50));
  TBufferedFile File(Name, 16);
  EXPECT_EQ(File.Stream.GetSize(), 50);
  EXPECT_EQ(File.Stream.Seek(-10, soEnd), 40);
  EXPECT_EQ(File.Stream.Seek(5, soCurrent), 45);
  WriteAt(File.Stream, 50, "tail");
  // Unflushed bytes past the underlying end are counted only after a flush.
  EXPECT_EQ(File.Stream.GetSize(), 50);
  File.Stream.Flush();
  EXPECT_EQ(File.Stream.GetSize(), 54);
  WriteAt(File.Stream, 2, "zz");
  File.Stream.SetSize(20);
  EXPECT_EQ(File.Stream.GetSize(), 20);
  EXPECT_EQ(File.Stream.GetPosition(), 20);
  std::string Expected = Pattern(20);
  Expected.replace(2, 2, "zz");
  EXPECT_EQ(ReadAt(File.Stream, 0, 100), Expected);
}

TEST(BufferedStream, MixedOperationsMatchAPlainModel) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"model.bin");
  std::mt19937 Random(20261208);
  for (int32_t BufferSize : {1, 7, 64, 1000}) {
    std::string Model = Pattern(3000);
    WriteAllBytes(Name, Model);
    {
      TBufferedFile File(Name, BufferSize);
      for (int Step = 0; Step < 1500; ++Step) {
        const int64_t Position = static_cast<int64_t>(Random() % 3600);
        const int32_t Count = static_cast<int32_t>(Random() % 3 == 0 ? Random() % 2500 : Random() % 40);
        if (Random() % 2 == 0) {
          const std::string Expected = Position < static_cast<int64_t>(Model.size())
                                           ? Model.substr(static_cast<size_t>(Position), Count)
                                           : "";
          ASSERT_EQ(FirstDifference(ReadAt(File.Stream, Position, Count), Expected), -1)
              << "buffer " << BufferSize << ", step " << Step;
        } else {
          std::string Bytes(static_cast<size_t>(Count), '\0');
          for (char &Byte : Bytes)
            Byte = static_cast<char>(Random());
          WriteAt(File.Stream, Position, Bytes);
          if (Model.size() < static_cast<size_t>(Position) + Bytes.size())
            Model.resize(static_cast<size_t>(Position) + Bytes.size(), '\0');
          Model.replace(static_cast<size_t>(Position), Bytes.size(), Bytes);
        }
      }
      File.Stream.Flush();
    }
    ASSERT_EQ(FirstDifference(ReadAllBytes(Name), Model), -1) << "buffer " << BufferSize;
  }
}

TEST(BufferedStream, ShortWriteAtFlushRaisesAndTheDestructorSurvives) {
  TShortStream Target(10);
  auto *Stream = new TBufferedStream(&Target, 64, false);
  EXPECT_EQ(Stream->Write("0123456789abcdef", 16), 16);
  EXPECT_THROW(Stream->Flush(), EWriteError);
  EXPECT_NO_THROW(delete Stream);
}

TEST(FileStream, OpenModes) {
  TTempFolder Folder;
  const std::wstring Name = Folder.File(L"modes.txt");
  EXPECT_THROW(TFileStream(Name, fmOpenRead | fmShareDenyWrite), EFOpenError);
  EXPECT_THROW(TFileStream(Folder.File(L"no\\such\\dir.txt"), fmCreate), EFCreateError);
  WriteAllBytes(Name, "old and longer contents");
  {
    TFileStream Created(Name, fmCreate);
    EXPECT_EQ(Created.GetSize(), 0);
    Created.WriteBuffer("new", 3);
  }
  EXPECT_EQ(ReadAllBytes(Name), "new");
  {
    TFileStream Reader(Name, fmOpenRead | fmShareDenyWrite);
    // Others may read but not write.
    HANDLE Other = ::CreateFileW(Name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(Other, INVALID_HANDLE_VALUE);
    ::CloseHandle(Other);
    Other = ::CreateFileW(Name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(Other, INVALID_HANDLE_VALUE);
    if (Other != INVALID_HANDLE_VALUE)
      ::CloseHandle(Other);
    // A read-only stream does not write.
    EXPECT_THROW(Reader.WriteBuffer("x", 1), EWriteError);
    char Bytes[8];
    EXPECT_EQ(Reader.Read(Bytes, 8), 3);
  }
  {
    TFileStream Both(Name, fmOpenReadWrite | fmShareDenyWrite);
    Both.Seek(0, soEnd);
    Both.WriteBuffer("er", 2);
    Both.SetPosition(0);
    char Bytes[8];
    EXPECT_EQ(Both.Read(Bytes, 8), 5);
    EXPECT_EQ(std::string(Bytes, 5), "newer");
    EXPECT_THROW(Both.Seek(-1, soBeginning), EStreamError);
  }
}
