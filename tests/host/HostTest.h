#pragma once

// GoogleTest glue for the test host: fixtures whose host reports every failure as a test failure
// the moment it happens, and checks at the end that the scripted user said everything it was
// given to say.

#include "Host.h"

#include <gtest/gtest.h>

#include <string>

// UTF-8 for GoogleTest's output.
inline std::string HostUtf8(const std::wstring &text) {
  if (text.empty())
    return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

// Makes every failure the host records a non-fatal failure of the running test.
inline void HostReportFailuresToTest(TFarHost &host) {
  host.SetFailureHandler([](const std::wstring &text) { ADD_FAILURE() << "test host: " << HostUtf8(text); });
}

// Fails the running test when scripted steps were left unused.
inline void HostExpectScriptDone(TFarHost &host) {
  for (const auto &step : host.Script().Remaining())
    ADD_FAILURE() << "test host: scripted step never used: " << HostUtf8(step);
}

// A test with its own host (not started: the test loads the DLL or attaches a plug-in).
class THostTest : public ::testing::Test {
protected:
  void SetUp() override { HostReportFailuresToTest(Host); }
  void TearDown() override { HostExpectScriptDone(Host); }

  TFarHost Host;
};

// A test with the plug-in DLL loaded and started as FAR starts it.
class TStartedPluginTest : public THostTest {
protected:
  void SetUp() override {
    THostTest::SetUp();
    ASSERT_TRUE(Host.Start()) << "the plug-in could not be started in the test host";
  }
};
