#include "Streams.h"

#include "Strings.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

std::wstring FileError(const wchar_t *What, const std::wstring &FileName, DWORD Error) {
  return std::wstring(What) + L" \"" + FileName + L"\". " + SystemErrorMessage(Error);
}

DWORD ShareModeOf(uint32_t Mode, DWORD Default) {
  switch (Mode & 0xF0) {
  case fmShareExclusive:
    return 0;
  case fmShareDenyWrite:
    return FILE_SHARE_READ;
  case fmShareDenyRead:
    return FILE_SHARE_WRITE;
  case fmShareDenyNone:
    return FILE_SHARE_READ | FILE_SHARE_WRITE;
  default:
    return Default;
  }
}

} // namespace

// TStream

int64_t TStream::GetSize() {
  const int64_t Position = Seek(0, soCurrent);
  const int64_t Size = Seek(0, soEnd);
  Seek(Position, soBeginning);
  return Size;
}

void TStream::ReadBuffer(void *Dest, int32_t Count) {
  if (Count > 0 && Read(Dest, Count) != Count)
    throw EReadError(L"Stream read error");
}

void TStream::WriteBuffer(const void *Source, int32_t Count) {
  if (Count > 0 && Write(Source, Count) != Count)
    throw EWriteError(L"Stream write error");
}

// TFileStream

TFileStream::TFileStream(const std::wstring &FileName, uint32_t Mode) : FFileName(FileName) {
  if ((Mode & 0xFF00) == fmCreate) {
    FHandle.Reset(::CreateFileW(FileName.c_str(), GENERIC_READ | GENERIC_WRITE,
                                ShareModeOf(Mode, FILE_SHARE_READ), nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!FHandle)
      throw EFCreateError(FileError(L"Cannot create file", FileName, ::GetLastError()));
    return;
  }
  DWORD Access;
  switch (Mode & 0x03) {
  case fmOpenWrite:
    Access = GENERIC_WRITE;
    break;
  case fmOpenReadWrite:
    Access = GENERIC_READ | GENERIC_WRITE;
    break;
  default:
    Access = GENERIC_READ;
    break;
  }
  FHandle.Reset(::CreateFileW(FileName.c_str(), Access, ShareModeOf(Mode, FILE_SHARE_READ | FILE_SHARE_WRITE),
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!FHandle)
    throw EFOpenError(FileError(L"Cannot open file", FileName, ::GetLastError()));
}

int32_t TFileStream::Read(void *Dest, int32_t Count) {
  if (Count <= 0)
    return 0;
  DWORD Done = 0;
  // A failing read must not look like the end of the data.
  if (!::ReadFile(FHandle.Get(), Dest, static_cast<DWORD>(Count), &Done, nullptr))
    throw EReadError(FileError(L"Cannot read file", FFileName, ::GetLastError()));
  return static_cast<int32_t>(Done);
}

int32_t TFileStream::Write(const void *Source, int32_t Count) {
  if (Count <= 0)
    return 0;
  DWORD Done = 0;
  // A failure shows as a short count; WriteBuffer and the buffer's flush raise on it.
  ::WriteFile(FHandle.Get(), Source, static_cast<DWORD>(Count), &Done, nullptr);
  return static_cast<int32_t>(Done);
}

int64_t TFileStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  static constexpr DWORD Methods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  LARGE_INTEGER Distance, Result;
  Distance.QuadPart = Offset;
  if (!::SetFilePointerEx(FHandle.Get(), Distance, &Result, Methods[Origin]))
    throw EStreamError(FileError(L"Cannot seek in file", FFileName, ::GetLastError()));
  return Result.QuadPart;
}

void TFileStream::SetSize(int64_t NewSize) {
  Seek(NewSize, soBeginning);
  if (!::SetEndOfFile(FHandle.Get()))
    throw EStreamError(FileError(L"Cannot set the size of file", FFileName, ::GetLastError()));
}

int64_t TFileStream::GetSize() {
  LARGE_INTEGER Size;
  if (!::GetFileSizeEx(FHandle.Get(), &Size))
    throw EStreamError(FileError(L"Cannot get the size of file", FFileName, ::GetLastError()));
  return Size.QuadPart;
}

// TBufferedStream

TBufferedStream::TBufferedStream(TStream *Stream, int32_t BufferSize, bool OwnsStream)
    : FOwnedStream(OwnsStream ? Stream : nullptr), FStream(Stream),
      FBuffer(std::make_unique<uint8_t[]>(static_cast<size_t>(std::max(BufferSize, 1)))),
      FBufferSize(std::max(BufferSize, 1)) {
  EmptyBuffer();
  Initialize();
}

TBufferedStream::~TBufferedStream() {
  try {
    Flush();
  } catch (...) {
    // A destructor cannot report; writers call Flush themselves to see the failure.
  }
}

void TBufferedStream::EmptyBuffer() {
  FBufferStart = 0;
  FBufferCount = 0;
  FDirty = false;
}

void TBufferedStream::MoveUnderlyingTo(int64_t Position) {
  if (FUnderlyingPosition == Position)
    return;
  FUnderlyingPosition = -1;
  FUnderlyingPosition = FStream->Seek(Position, soBeginning);
}

int32_t TBufferedStream::ReadUnderlying(void *Dest, int32_t Count) {
  const int64_t Start = std::exchange(FUnderlyingPosition, -1);
  const int32_t Done = FStream->Read(Dest, Count);
  FUnderlyingPosition = Start < 0 ? -1 : Start + Done;
  return Done;
}

int32_t TBufferedStream::WriteUnderlying(const void *Source, int32_t Count) {
  const int64_t Start = std::exchange(FUnderlyingPosition, -1);
  const int32_t Done = FStream->Write(Source, Count);
  FUnderlyingPosition = Start < 0 ? -1 : Start + Done;
  return Done;
}

void TBufferedStream::FillBuffer() {
  MoveUnderlyingTo(FPosition);
  FBufferStart = FPosition;
  FBufferCount = ReadUnderlying(FBuffer.get(), FBufferSize);
  FDirty = false;
}

void TBufferedStream::Flush() {
  if (!FDirty)
    return;
  MoveUnderlyingTo(FBufferStart);
  if (WriteUnderlying(FBuffer.get(), FBufferCount) != FBufferCount)
    throw EWriteError(L"Stream write error");
  FDirty = false;
}

int32_t TBufferedStream::Read(void *Dest, int32_t Count) {
  if (Count <= 0)
    return 0;
  auto *Target = static_cast<uint8_t *>(Dest);
  int32_t Done = 0;
  const int64_t Offset = FPosition - FBufferStart;
  if (Offset >= 0 && Offset < FBufferCount) {
    const int32_t Part = std::min<int32_t>(Count, FBufferCount - static_cast<int32_t>(Offset));
    std::memcpy(Target, FBuffer.get() + Offset, static_cast<size_t>(Part));
    FPosition += Part;
    Done = Part;
  }
  if (Done < Count) {
    const int32_t Rest = Count - Done;
    Flush();
    EmptyBuffer();
    if (Rest > FBufferSize) {
      MoveUnderlyingTo(FPosition);
      Done += ReadUnderlying(Target + Done, Rest);
      FPosition = FUnderlyingPosition >= 0 ? FUnderlyingPosition : FStream->GetPosition();
    } else {
      FillBuffer();
      const int32_t Part = std::min(Rest, FBufferCount);
      std::memcpy(Target + Done, FBuffer.get(), static_cast<size_t>(Part));
      FPosition += Part;
      Done += Part;
    }
  }
  return Done;
}

int32_t TBufferedStream::Write(const void *Source, int32_t Count) {
  if (Count < 1)
    return 0;
  const auto *From = static_cast<const uint8_t *>(Source);
  int32_t Done = 0;
  // Only bytes that join or overlap the valid part may go into the buffer: a gap would hold
  // stale bytes that the flush writes over the file.
  const int64_t Offset = FPosition - FBufferStart;
  if (Offset >= 0 && Offset < FBufferSize && Offset <= FBufferCount) {
    const int32_t Part = std::min<int32_t>(Count, FBufferSize - static_cast<int32_t>(Offset));
    std::memcpy(FBuffer.get() + Offset, From, static_cast<size_t>(Part));
    FPosition += Part;
    FDirty = true;
    FBufferCount = std::max<int32_t>(FBufferCount, static_cast<int32_t>(FPosition - FBufferStart));
    Done = Part;
  }
  if (Done < Count) {
    const int32_t Rest = Count - Done;
    Flush();
    EmptyBuffer();
    if (Rest > FBufferSize) {
      MoveUnderlyingTo(FPosition);
      Done += WriteUnderlying(From + Done, Rest);
      FPosition = FUnderlyingPosition >= 0 ? FUnderlyingPosition : FStream->GetPosition();
    } else {
      // Filled first, so that the bytes after the written ones stay intact at the flush.
      FillBuffer();
      std::memcpy(FBuffer.get(), From + Done, static_cast<size_t>(Rest));
      FPosition += Rest;
      FDirty = true;
      FBufferCount = std::max<int32_t>(FBufferCount, static_cast<int32_t>(FPosition - FBufferStart));
      Done += Rest;
    }
  }
  return Done;
}

int64_t TBufferedStream::DoSeek(int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
  case soBeginning:
    FPosition = Offset;
    break;
  case soCurrent:
    FPosition += Offset;
    break;
  case soEnd:
    FPosition = Offset + FStream->GetSize();
    break;
  }
  return FPosition;
}

void TBufferedStream::SetSize(int64_t NewSize) {
  Flush();
  EmptyBuffer();
  FUnderlyingPosition = -1;
  FStream->SetSize(NewSize);
  FPosition = FUnderlyingPosition = FStream->GetPosition();
}
