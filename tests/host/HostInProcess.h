#pragma once

// The host for a plug-in object created inside the test program: the product's libraries are
// linked in (their exported functions included), the test registers its own plug-in object
// (TVelmoraPlugin or a test descendant of TFarPlugin), and the host starts it through the linked
// exports exactly as it starts the DLL. Header-only: only the test programs link the product.

#include "FarExports.h"
#include "FarPlugin.h"
#include "HostTest.h"

#include <memory>

// The exports as linked into this program.
inline THostExports HostLinkedExports() {
  THostExports exports;
  exports.SetStartupInfoW = &SetStartupInfoW;
  exports.GetGlobalInfoW = &GetGlobalInfoW;
  exports.GetPluginInfoW = &GetPluginInfoW;
  exports.OpenW = &OpenW;
  exports.ConfigureW = &ConfigureW;
  exports.ExitFARW = &ExitFARW;
  exports.ProcessEditorEventW = &ProcessEditorEventW;
  exports.ProcessEditorInputW = &ProcessEditorInputW;
  return exports;
}

// Registers a plug-in object for the lifetime of this object and attaches the host to the linked
// exports. With start, GetGlobalInfoW and SetStartupInfoW follow, as FAR calls them.
// The language files are looked for next to the test program (the build copies them there).
class THostInProcessPlugin {
public:
  THostInProcessPlugin(TFarHost &host, std::unique_ptr<TFarPlugin> plugin, bool start = true) : FHost(host) {
    FreePlugin();
    FPlugin = plugin.get();
    RegisterPlugin(std::move(plugin));
    host.AttachInProcess(HostLinkedExports());
    if (start) {
      host.CallGetGlobalInfo();
      host.CallSetStartupInfo();
    }
  }
  ~THostInProcessPlugin() {
    FreePlugin();
    FHost.Unload();
  }
  THostInProcessPlugin(const THostInProcessPlugin &) = delete;
  THostInProcessPlugin &operator=(const THostInProcessPlugin &) = delete;

  TFarPlugin &Plugin() const { return *FPlugin; }
  template <class T> T &As() const { return dynamic_cast<T &>(*FPlugin); }

private:
  TFarHost &FHost;
  TFarPlugin *FPlugin;
};

// A test with a host and a plug-in object of type T registered in-process and started.
template <class T> class TInProcessPluginTest : public THostTest {
protected:
  void SetUp() override {
    THostTest::SetUp();
    FRegistration = std::make_unique<THostInProcessPlugin>(Host, std::make_unique<T>());
  }
  void TearDown() override {
    FRegistration.reset();
    THostTest::TearDown();
  }
  T &Plugin() { return FRegistration->As<T>(); }

private:
  std::unique_ptr<THostInProcessPlugin> FRegistration;
};
