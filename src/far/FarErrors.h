#pragma once

#include "Exceptions.h"

#include <exception>
#include <string>
#include <vector>

// The framework's own errors. They add nothing but their class name, which the error report
// shows to the user.
VELMORA_DECLARE_EXCEPTION(EFarError, Exception);
VELMORA_DECLARE_EXCEPTION(EFarPluginError, EFarError);
VELMORA_DECLARE_EXCEPTION(EFarEditorManagedError, EFarError);
VELMORA_DECLARE_EXCEPTION(EFarDialogError, Exception);

// Shows an exception caught in the entry point FunctionName: a FAR warning message with the
// plug-in's title, the heading naming the entry point, the class name and the message split into
// lines, and a log line. EAbort is silent. Without a registered plug-in object it falls back to a
// Windows message box. When building or showing the message fails, a five-line message with the
// unsplit text is shown instead; only a failure of that last attempt escapes.
void ReportException(const Exception &E, const std::wstring &FunctionName);
// The same report for an error that is not of the Exception family (std::exception or unknown).
void ReportException(const std::wstring &ClassName, const std::wstring &Message,
                     const std::wstring &FunctionName);

// The lines of an error message: a line ends at CR LF, a lone CR or a lone LF; a terminator at the
// very end adds no empty line; an empty text has no lines.
std::vector<std::wstring> SplitMessageLines(const std::wstring &Text);

// Class name and message of std::exception objects as the report shows them.
std::wstring StdExceptionClassName(const std::exception &E);
std::wstring StdExceptionMessage(const std::exception &E);

// Writes "<Name><Suffix>" to the plug-in object's log; does nothing without a plug-in object and
// never raises (a failing log must not change what an entry point does).
void LogEntryPoint(const wchar_t *Name, const wchar_t *Suffix) noexcept;

// The exception guard of an entry point: runs Work and returns its result; any exception is
// reported under Name (EAbort silently) and Neutral is returned instead. With WriteLog the
// "<Name> START" and "<Name> END" lines frame the call (END also after an exception). Nothing
// escapes: FAR must never see a C++ exception.
template <class TResult, class TWork>
TResult FarGuard(const wchar_t *Name, bool WriteLog, TResult Neutral, TWork &&Work) noexcept {
  if (WriteLog)
    LogEntryPoint(Name, L" START");
  TResult Result = Neutral;
  try {
    try {
      Result = Work();
    } catch (const Exception &E) {
      Result = Neutral;
      ReportException(E, Name);
    } catch (const std::exception &E) {
      Result = Neutral;
      ReportException(StdExceptionClassName(E), StdExceptionMessage(E), Name);
    } catch (...) {
      Result = Neutral;
      ReportException(L"Unknown exception", L"An exception of an unknown type was raised.", Name);
    }
  } catch (...) {
    // Even the report failed; there is nobody left to tell.
    Result = Neutral;
  }
  if (WriteLog)
    LogEntryPoint(Name, L" END");
  return Result;
}

// The guard for entry points without a result.
template <class TWork> void FarGuardVoid(const wchar_t *Name, bool WriteLog, TWork &&Work) noexcept {
  FarGuard(Name, WriteLog, 0, [&]() {
    Work();
    return 0;
  });
}
