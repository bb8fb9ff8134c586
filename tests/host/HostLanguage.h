#pragma once

// The host's reading of a plug-in's language files, done the way FAR does it: every *.lng file in
// the plug-in's folder is looked at, the one whose ".Language=" name matches the interface
// language wins (then English, then the last one found), and messages are numbered by position.

#include <optional>
#include <string>
#include <vector>

class THostLanguageFile {
public:
  // Parses the file; nullopt when it cannot be read.
  static std::optional<THostLanguageFile> Load(const std::wstring &path);
  // Parses text already decoded to UTF-16.
  static THostLanguageFile Parse(const std::wstring &text);
  // Decodes a file's bytes as FAR does: a UTF-8 or UTF-16 byte-order mark decides; without one the
  // bytes are UTF-8 while they are valid UTF-8, else the OEM code page.
  static std::wstring Decode(const std::string &bytes);

  const std::wstring &Path() const { return FPath; }
  const std::wstring &LanguageName() const { return FLanguageName; }
  const std::wstring &LanguageDescription() const { return FLanguageDescription; }
  const std::vector<std::wstring> &Messages() const { return FMessages; }

private:
  std::wstring FPath;
  std::wstring FLanguageName;
  std::wstring FLanguageDescription;
  std::vector<std::wstring> FMessages;
};

// Picks the file FAR would use from the language files in a folder; nullopt when none is readable.
std::optional<THostLanguageFile> HostChooseLanguageFile(const std::wstring &folder,
                                                        const std::wstring &language);
