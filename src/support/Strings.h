#pragma once

#include "Exceptions.h"

#include <string>
#include <windows.h>

// Conversions between the plug-in's UTF-16 strings and byte strings in a Windows code page.
// Byte strings are std::string (they carry their length, not their code page: callers know it).
// A conversion the system reports as failed raises EStringError ("Conversion failed."); an empty
// input always gives an empty output without calling the system.

VELMORA_DECLARE_EXCEPTION(EStringError, Exception);

// ANSI bytes to the OEM (console) code page, same length.
std::string AnsiToOem(const std::string &Bytes);

std::wstring MultiByteToUnicode(UINT CodePage, const char *Bytes, int Count);
std::wstring MultiByteToUnicode(UINT CodePage, const std::string &Bytes);
// From the system's default ANSI code page.
std::wstring AnsiToUnicode(const char *Bytes, int Count);
std::wstring AnsiToUnicode(const std::string &Bytes);
// A byte below 0x80 is returned as it is; any other is converted from the ANSI code page.
wchar_t AnsiCharToUnicode(char Byte);

// Always the complete encoded text; no default character is substituted by request.
std::string UnicodeToMultiByte(UINT CodePage, const wchar_t *Text, int Count);
std::string UnicodeToMultiByte(UINT CodePage, const std::wstring &Text);
std::string UnicodeToUtf8(const std::wstring &Text);
// The same into Bytes (replacing its contents), so a caller converting many texts reuses one buffer.
void UnicodeToUtf8(const wchar_t *Text, size_t Count, std::string &Bytes);
// The same into raw memory with room for 3 × Count bytes; returns the bytes written.
size_t UnicodeToUtf8(const wchar_t *Text, size_t Count, char *Bytes);

// The system's text for an error code (GetLastError), without the trailing line break.
std::wstring SystemErrorMessage(DWORD ErrorCode);
