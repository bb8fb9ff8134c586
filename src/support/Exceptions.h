#pragma once

#include <exception>
#include <string>

// The root of the plug-in's exceptions. Errors travel as exceptions inside the plug-in and are
// turned into a FAR message at the one place where FAR called in; the class name is part of
// that message, so every class reports its own.
class Exception : public std::exception {
public:
  explicit Exception(std::wstring message) : FMessage(std::move(message)) {}
  ~Exception() override = default;

  const std::wstring &Message() const noexcept { return FMessage; }
  virtual const wchar_t *ClassName() const noexcept { return L"Exception"; }
  const char *what() const noexcept override { return "Velmora3 exception"; }

private:
  std::wstring FMessage;
};

// Declares an exception class that adds nothing but its own class name.
#define VELMORA_DECLARE_EXCEPTION(Name, Base)                                                                \
  class Name : public Base {                                                                                 \
  public:                                                                                                    \
    using Base::Base;                                                                                        \
    const wchar_t *ClassName() const noexcept override { return L## #Name; }                                 \
  }

// Ends an operation the user cancelled; never reported.
class EAbort : public Exception {
public:
  EAbort() : Exception(L"Operation aborted") {}
  using Exception::Exception;
  const wchar_t *ClassName() const noexcept override { return L"EAbort"; }
};
