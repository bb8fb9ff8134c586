#pragma once

#include "Exceptions.h"
#include "Handles.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Streams: an abstract byte stream, a file stream over CreateFileW, a block buffer in front of
// any stream and, built on it, a text file stream with encodings and line reading.

VELMORA_DECLARE_EXCEPTION(EStreamError, Exception);
VELMORA_DECLARE_EXCEPTION(EFileStreamError, EStreamError);
VELMORA_DECLARE_EXCEPTION(EFCreateError, EFileStreamError);
VELMORA_DECLARE_EXCEPTION(EFOpenError, EFileStreamError);
VELMORA_DECLARE_EXCEPTION(EReadError, EStreamError);
VELMORA_DECLARE_EXCEPTION(EWriteError, EStreamError);

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
  virtual ~TStream() = default;
  TStream() = default;
  TStream(const TStream &) = delete;
  TStream &operator=(const TStream &) = delete;

  // Bytes actually transferred; fewer than Count at the end of the data.
  virtual int32_t Read(void *Dest, int32_t Count) = 0;
  virtual int32_t Write(const void *Source, int32_t Count) = 0;
  // The new position.
  virtual int64_t Seek(int64_t Offset, TSeekOrigin Origin) = 0;
  virtual void SetSize(int64_t NewSize) = 0;
  virtual int64_t GetSize();

  int64_t GetPosition() { return Seek(0, soCurrent); }
  void SetPosition(int64_t Value) { Seek(Value, soBeginning); }

  // All Count bytes or EReadError / EWriteError.
  void ReadBuffer(void *Dest, int32_t Count);
  void WriteBuffer(const void *Source, int32_t Count);
};

// Open modes of TFileStream: one access mode combined with one share mode, or fmCreate.
enum : uint32_t {
  fmCreate = 0xFF00, // create the file, replacing any existing one; read and write access
  fmOpenRead = 0x0000,
  fmOpenWrite = 0x0001,
  fmOpenReadWrite = 0x0002,
  fmShareExclusive = 0x0010,
  fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030,
  fmShareDenyNone = 0x0040,
};

// A file opened with CreateFileW. Open failures raise EFCreateError or EFOpenError, read and
// seek failures EReadError and EStreamError; a failing write returns the bytes written.
class TFileStream : public TStream {
public:
  TFileStream(const std::wstring &FileName, uint32_t Mode);

  int32_t Read(void *Dest, int32_t Count) override;
  int32_t Write(const void *Source, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override;
  void SetSize(int64_t NewSize) override;
  int64_t GetSize() override;

  const std::wstring &GetFileName() const { return FFileName; }
  HANDLE GetHandle() const { return FHandle.Get(); }

private:
  std::wstring FFileName;
  TFileHandle FHandle;
};

// A block buffer in front of another stream. The size is the underlying stream's: bytes written
// past its end are counted only after a Flush.
//
// The destructor flushes but cannot report a failure; call Flush before destroying a stream
// that was written, so that a short write raises where it can be handled.
class TBufferedStream : public TStream {
public:
  TBufferedStream(TStream *Stream, int32_t BufferSize, bool OwnsStream);
  ~TBufferedStream() override;

  int32_t Read(void *Dest, int32_t Count) override;
  int32_t Write(const void *Source, int32_t Count) override;
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) final { return DoSeek(Offset, Origin); }
  void SetSize(int64_t NewSize) override;
  int64_t GetSize() override { return FStream->GetSize(); }

  // Writes the dirty part of the buffer to the underlying stream.
  virtual void Flush();

  int32_t GetBufferSize() const { return FBufferSize; }

protected:
  // Called once at the end of construction. C++ calls the version of the class being
  // constructed, so a derived class calls its own at the end of its constructor.
  virtual void Initialize() {}
  virtual int64_t DoSeek(int64_t Offset, TSeekOrigin Origin);

  // Fast path for byte-wise readers: the next byte when it is in the buffer.
  bool ReadBufferedByte(uint8_t &Byte) {
    const int64_t Offset = FPosition - FBufferStart;
    if (Offset < 0 || Offset >= FBufferCount)
      return false;
    Byte = FBuffer[static_cast<size_t>(Offset)];
    ++FPosition;
    return true;
  }
  int64_t CurrentPosition() const { return FPosition; }
  // The buffered bytes from the position on, for readers that scan runs in place; none when the
  // position lies outside the buffer. SkipBuffered moves past bytes taken from there.
  int32_t BufferedAhead(const uint8_t *&Data) const {
    const int64_t Offset = FPosition - FBufferStart;
    if (Offset < 0 || Offset >= FBufferCount)
      return 0;
    Data = FBuffer.get() + Offset;
    return FBufferCount - static_cast<int32_t>(Offset);
  }
  void SkipBuffered(int32_t Count) { FPosition += Count; }
  // Free room in the buffer for writers that encode in place: only when the position is the end
  // of the valid bytes, so that nothing valid is overwritten before CommitWritten. Committing
  // Count > 0 bytes there is what Write of the same bytes does.
  int32_t WritableAhead(uint8_t *&Data) const {
    const int64_t Offset = FPosition - FBufferStart;
    if (Offset != FBufferCount)
      return 0;
    Data = FBuffer.get() + Offset;
    return FBufferSize - FBufferCount;
  }
  void CommitWritten(int32_t Count) {
    FPosition += Count;
    FBufferCount += Count;
    FDirty = true;
  }
  // Bytes read from the underlying stream lie ahead: the position is short of its end.
  bool CleanBytesAhead() const {
    const int64_t Offset = FPosition - FBufferStart;
    return !FDirty && Offset >= 0 && Offset < FBufferCount;
  }

private:
  void EmptyBuffer();
  void FillBuffer();
  void MoveUnderlyingTo(int64_t Position);
  int32_t ReadUnderlying(void *Dest, int32_t Count);
  int32_t WriteUnderlying(const void *Source, int32_t Count);

  std::unique_ptr<TStream> FOwnedStream; // set when the stream is owned
  TStream *FStream;
  std::unique_ptr<uint8_t[]> FBuffer;
  int32_t FBufferSize;
  int64_t FBufferStart = 0;
  int32_t FBufferCount = 0;
  bool FDirty = false;
  int64_t FPosition = 0;
  // Where the underlying stream stands, tracked to spare a system call per block; -1 when not
  // known. Nothing else may move the underlying stream while it is buffered.
  int64_t FUnderlyingPosition = -1;
};

enum TTextEncoding : uint8_t {
  teUndetermined = 0,
  teAnsi = 1,  // the system's default code page
  teOem = 2,   // the console code page
  teUtf16 = 3, // little-endian when written
  teUtf8 = 4,
};

// A buffered text file. An existing file's encoding is detected when it is opened; a new file
// gets the byte order mark of its encoding with the first text written.
class TTextStream : public TBufferedStream {
public:
  static constexpr int32_t TextBufferSize = 16384;

  // Mode: fmCreate (65280), fmOpenRead | fmShareDenyWrite (32), fmOpenReadWrite |
  // fmShareDenyWrite (34), or any other TFileStream mode.
  TTextStream(const std::wstring &FileName, uint32_t Mode);

  int32_t Write(const void *Source, int32_t Count) override;
  void Flush() override;

  // At position 0 writes the encoding's byte order mark (UTF-16: FF FE, UTF-8: EF BB BF).
  void SetEncoding(TTextEncoding Value);
  TTextEncoding GetEncoding() const { return FEncoding; }
  TTextEncoding GetDefaultEncoding() const { return FDefaultEncoding; }
  void SetDefaultEncoding(TTextEncoding Value) { FDefaultEncoding = Value; }
  bool GetBigEndian() const { return FBigEndian; }
  const std::wstring &GetLineBreak() const { return FLineBreak; }
  void SetLineBreak(const std::wstring &Value) { FLineBreak = Value; }

  // A low surrogate still pending counts as data.
  bool EndOfStream() {
    // Asking the file for its size costs a system call; bytes read from it and still ahead in the
    // buffer answer the question without one.
    return FPendingLowSurrogate == 0 && !CleanBytesAhead() && CurrentPosition() >= GetSize();
  }
  // One UTF-16 code unit; false at the end of the data.
  bool ReadChar(wchar_t &Char);
  // A line without its break (CR LF, CR or LF); false at the end of the data.
  bool ReadLine(std::wstring &Line);
  void WriteText(const std::wstring &Text);
  void WriteLine(const std::wstring &Text);

protected:
  void Initialize() override;
  int64_t DoSeek(int64_t Offset, TSeekOrigin Origin) override;

private:
  void DetectEncoding();
  bool ReadByte(uint8_t &Byte);
  wchar_t AnsiChar(uint8_t Byte);
  bool ReadUtf8Char(wchar_t &Char);
  void WriteBytes(const void *Source, size_t Count);
  bool ScanRun(std::wstring &Line);

  TTextEncoding FDefaultEncoding = teUtf8;
  TTextEncoding FEncoding = teUndetermined;
  bool FBigEndian = false;
  std::wstring FLineBreak = L"\r\n";
  wchar_t FPendingLowSurrogate = 0;
  // Upper half of the ANSI code page, converted once per stream on first need.
  std::vector<wchar_t> FAnsiTable;
  // Encoded bytes of the text being written, kept to save an allocation per line.
  std::string FScratch;
};
