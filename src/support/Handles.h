#pragma once

#include <utility>
#include <windows.h>

// One move-only owner for every kind of handle. The traits type names the handle type, its
// invalid value and the call that releases it, so no handle is closed by hand on one path and
// forgotten on another.
template <typename Traits> class TUniqueHandle {
public:
  using Type = typename Traits::Type;

  TUniqueHandle() noexcept = default;
  explicit TUniqueHandle(Type Value) noexcept : FValue(Value) {}
  TUniqueHandle(const TUniqueHandle &) = delete;
  TUniqueHandle &operator=(const TUniqueHandle &) = delete;
  TUniqueHandle(TUniqueHandle &&Other) noexcept : FValue(Other.Release()) {}
  TUniqueHandle &operator=(TUniqueHandle &&Other) noexcept {
    if (this != &Other)
      Reset(Other.Release());
    return *this;
  }
  ~TUniqueHandle() { Reset(); }

  Type Get() const noexcept { return FValue; }
  bool IsValid() const noexcept { return FValue != Traits::Invalid(); }
  explicit operator bool() const noexcept { return IsValid(); }

  // Gives up ownership without closing.
  Type Release() noexcept { return std::exchange(FValue, Traits::Invalid()); }

  // Closes the current handle (when valid) and takes Value.
  void Reset(Type Value = Traits::Invalid()) noexcept {
    Type Old = std::exchange(FValue, Value);
    if (Old != Traits::Invalid())
      Traits::Close(Old);
  }

private:
  Type FValue = Traits::Invalid();
};

// A kernel object opened with CreateFileW and the like.
struct TFileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type Value) noexcept { ::CloseHandle(Value); }
};
using TFileHandle = TUniqueHandle<TFileHandleTraits>;

// A directory search opened with FindFirstFileW.
struct TFindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type Value) noexcept { ::FindClose(Value); }
};
using TFindHandle = TUniqueHandle<TFindHandleTraits>;

// A module loaded with LoadLibraryW.
struct TModuleHandleTraits {
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type Value) noexcept { ::FreeLibrary(Value); }
};
using TModuleHandle = TUniqueHandle<TModuleHandleTraits>;
