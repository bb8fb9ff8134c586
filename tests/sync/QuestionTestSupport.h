#pragma once

// Shared by the synchronisation tests: the plug-in object in-process behind the host, and real
// folders and files to ask about.

#include "FarEditor.h"
#include "HostDialogs.h"
#include "HostInProcess.h"
#include "Velmora.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

class QuestionTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  void SetUp() override {
    TInProcessPluginTest<TVelmoraPlugin>::SetUp();
    Root = Host.TempFolder() + L"\\trees";
    std::filesystem::create_directories(std::filesystem::path(Root));
  }
  void TearDown() override {
    TFarEditorManaged::FreeAdopted();
    TInProcessPluginTest<TVelmoraPlugin>::TearDown();
  }

  // A file under Root (folders created as needed); returns its full path.
  std::wstring MakeFile(const std::wstring &Relative, const std::string &Bytes = "data",
                        bool ReadOnly = false) {
    std::filesystem::path Path = std::filesystem::path(Root) / Relative;
    std::filesystem::create_directories(Path.parent_path());
    {
      std::ofstream Out(Path, std::ios::binary);
      Out << Bytes;
    }
    if (ReadOnly)
      SetFileAttributesW(Path.c_str(), FILE_ATTRIBUTE_READONLY);
    return Path.wstring();
  }
  std::wstring MakeDirectory(const std::wstring &Relative, bool ReadOnly = false) {
    std::filesystem::path Path = std::filesystem::path(Root) / Relative;
    std::filesystem::create_directories(Path);
    if (ReadOnly)
      SetFileAttributesW(Path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY);
    return Path.wstring();
  }
  std::wstring Under(const std::wstring &Relative) const { return Root + L"\\" + Relative; }

  THostDialogUser User() { return THostDialogUser(Host.Script()); }
  THostDialogs &Dialogs() { return Host.Part<THostDialogs>(); }

  std::wstring Root;
};
