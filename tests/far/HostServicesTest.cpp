// The host's settings store, panels and window list at FAR's own interface, where the product's
// wrappers do not reach: the parts other tests rely on to behave as FAR does.

#include "HostInProcess.h"
#include "HostPanels.h"
#include "HostSettings.h"
#include "Velmora.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class HostServicesTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  intptr_t Settings(HANDLE Handle, FAR_SETTINGS_CONTROL_COMMANDS Command, intptr_t Param1, void *Param2) {
    return Host.StartupInfo().SettingsControl(Handle, Command, Param1, Param2);
  }
  intptr_t Panel(HANDLE Handle, FILE_CONTROL_COMMANDS Command, intptr_t Param1, void *Param2) {
    return Host.StartupInfo().PanelControl(Handle, Command, Param1, Param2);
  }
  intptr_t Adv(ADVANCED_CONTROL_COMMANDS Command, intptr_t Param1, void *Param2) {
    return Host.StartupInfo().AdvControl(&VelmoraPluginGuid, Command, Param1, Param2);
  }
  HANDLE CreateSettings() {
    FarSettingsCreate Create{sizeof(FarSettingsCreate), VelmoraPluginGuid, nullptr};
    EXPECT_TRUE(Settings(INVALID_HANDLE_VALUE, SCTL_CREATE, PSL_ROAMING, &Create));
    return Create.Handle;
  }
  size_t SubKey(HANDLE Handle, FAR_SETTINGS_CONTROL_COMMANDS Command, size_t Root, const wchar_t *Name) {
    FarSettingsValue Value{sizeof(FarSettingsValue), Root, Name};
    return static_cast<size_t>(Settings(Handle, Command, 0, &Value));
  }
  // Call must make the host record exactly one failure (misuse FAR would refuse).
  template <class TCall> void ExpectHostFailure(const char *What, TCall &&Call) {
    Host.SetFailureHandler([](const std::wstring &) {});
    size_t Before = Host.Failures().size();
    Call();
    size_t After = Host.Failures().size();
    HostReportFailuresToTest(Host);
    EXPECT_EQ(After, Before + 1) << What;
    Host.ClearFailures();
  }
};

TEST_F(HostServicesTest, SubkeysAreNumberedPerHandleAndRefuseEmptyOrPathNames) {
  HANDLE Handle = CreateSettings();
  size_t A = SubKey(Handle, SCTL_CREATESUBKEY, 0, L"a");
  ASSERT_NE(A, 0u);
  size_t B = SubKey(Handle, SCTL_CREATESUBKEY, A, L"b");
  ASSERT_NE(B, 0u);
  EXPECT_NE(SubKey(Handle, SCTL_OPENSUBKEY, 0, L"a"), 0u);
  EXPECT_EQ(SubKey(Handle, SCTL_OPENSUBKEY, 0, L"missing"), 0u);
  EXPECT_EQ(SubKey(Handle, SCTL_CREATESUBKEY, 0, L"a\\b"), 0u);
  EXPECT_EQ(SubKey(Handle, SCTL_CREATESUBKEY, 0, L""), 0u);
  EXPECT_EQ(SubKey(Handle, SCTL_OPENSUBKEY, 12345, L"a"), 0u);
  FarSettingsItem Item{sizeof(FarSettingsItem), B, L"v", FST_QWORD, {}};
  Item.Number = 5;
  EXPECT_TRUE(Settings(Handle, SCTL_SET, 0, &Item));
  EXPECT_TRUE(Settings(Handle, SCTL_FREE, 0, nullptr));

  // A new handle has numbers of its own: the old number names nothing until it opens the key.
  HANDLE Again = CreateSettings();
  FarSettingsItem Read{sizeof(FarSettingsItem), B, L"v", FST_QWORD, {}};
  EXPECT_FALSE(Settings(Again, SCTL_GET, 0, &Read));
  size_t AgainA = SubKey(Again, SCTL_OPENSUBKEY, 0, L"a");
  Read.Root = SubKey(Again, SCTL_OPENSUBKEY, AgainA, L"b");
  ASSERT_TRUE(Settings(Again, SCTL_GET, 0, &Read));
  EXPECT_EQ(Read.Number, 5u);
  Settings(Again, SCTL_FREE, 0, nullptr);
}

TEST_F(HostServicesTest, EnumerationListsSubkeysThenValuesAndDeleteRemovesThem) {
  THostSettings &Store = Host.Part<THostSettings>();
  Store.SetNumber(VelmoraPluginGuid, L"", L"n", 1);
  Store.SetString(VelmoraPluginGuid, L"", L"s", L"x");
  Store.SetNumber(VelmoraPluginGuid, L"k\\deep", L"v", 2);
  HANDLE Handle = CreateSettings();
  FarSettingsEnum Enum{};
  Enum.StructSize = sizeof(Enum);
  ASSERT_TRUE(Settings(Handle, SCTL_ENUM, 0, &Enum));
  ASSERT_EQ(Enum.Count, 3u);
  EXPECT_EQ(std::wstring(Enum.Items[0].Name), L"k");
  EXPECT_EQ(Enum.Items[0].Type, FST_SUBKEY);
  EXPECT_EQ(std::wstring(Enum.Items[1].Name), L"n");
  EXPECT_EQ(Enum.Items[1].Type, FST_QWORD);
  EXPECT_EQ(Enum.Items[2].Type, FST_STRING);

  FarSettingsValue Value{sizeof(FarSettingsValue), 0, L"n"};
  EXPECT_TRUE(Settings(Handle, SCTL_DELETE, 0, &Value));
  EXPECT_FALSE(Settings(Handle, SCTL_DELETE, 0, &Value));
  size_t K = SubKey(Handle, SCTL_OPENSUBKEY, 0, L"k");
  size_t Deep = SubKey(Handle, SCTL_OPENSUBKEY, K, L"deep");
  FarSettingsValue Tree{sizeof(FarSettingsValue), K, nullptr};
  EXPECT_TRUE(Settings(Handle, SCTL_DELETE, 0, &Tree));
  EXPECT_FALSE(Store.HasKey(VelmoraPluginGuid, L"k"));
  // The numbers of deleted keys are gone with them.
  FarSettingsItem Item{sizeof(FarSettingsItem), Deep, L"v", FST_QWORD, {}};
  EXPECT_FALSE(Settings(Handle, SCTL_GET, 0, &Item));
  EXPECT_EQ(Store.GetString(VelmoraPluginGuid, L"", L"s"), L"x");
  Settings(Handle, SCTL_FREE, 0, nullptr);
}

TEST_F(HostServicesTest, MisuseOfTheSettingsStoreIsReported) {
  HANDLE Handle = CreateSettings();
  EXPECT_TRUE(Settings(Handle, SCTL_FREE, 0, nullptr));
  ExpectHostFailure("a second SCTL_FREE", [&] { EXPECT_FALSE(Settings(Handle, SCTL_FREE, 0, nullptr)); });

  Handle = CreateSettings();
  FarSettingsItem Short{sizeof(FarSettingsItem) - 8, 0, L"n", FST_QWORD, {}};
  ExpectHostFailure("a short FarSettingsItem", [&] { EXPECT_FALSE(Settings(Handle, SCTL_GET, 0, &Short)); });
  Settings(Handle, SCTL_FREE, 0, nullptr);
  EXPECT_EQ(Host.Part<THostSettings>().OpenHandles(), 0u);
}

TEST_F(HostServicesTest, FarsOwnSettingsAreReadOnly) {
  FarSettingsCreate Create{sizeof(FarSettingsCreate), GUID{}, nullptr};
  ASSERT_TRUE(Settings(INVALID_HANDLE_VALUE, SCTL_CREATE, PSL_ROAMING, &Create));
  FarSettingsItem Item{sizeof(FarSettingsItem), 0, L"n", FST_QWORD, {}};
  Item.Number = 1;
  EXPECT_FALSE(Settings(Create.Handle, SCTL_SET, 0, &Item));
  EXPECT_EQ(SubKey(Create.Handle, SCTL_CREATESUBKEY, 0, L"k"), 0u);
  Settings(Create.Handle, SCTL_FREE, 0, nullptr);
}

TEST_F(HostServicesTest, APanelItemInABufferOfTheStructuresSizeHasNoStrings) {
  THostPanels &Panels = Host.Part<THostPanels>();
  THostPanel &Left = Panels.Panel(THostSide::Left);
  Left.Items = {THostPanelItem{}};
  Left.Items[0].FileName = L"name.txt";
  Left.Items[0].FileSize = 77;
  Left.Items[0].Flags = PPIF_SELECTED;
  Panels.SetActiveSide(THostSide::Left);

  intptr_t Needed = Panel(PANEL_ACTIVE, FCTL_GETPANELITEM, 0, nullptr);
  ASSERT_GT(Needed, static_cast<intptr_t>(sizeof(PluginPanelItem)));
  PluginPanelItem Bare{};
  FarGetPluginPanelItem Get{sizeof(FarGetPluginPanelItem), sizeof(PluginPanelItem), &Bare};
  EXPECT_EQ(Panel(PANEL_ACTIVE, FCTL_GETPANELITEM, 0, &Get), Needed);
  EXPECT_EQ(Bare.FileSize, 77u);
  EXPECT_EQ(Bare.Flags, PPIF_SELECTED);
  EXPECT_EQ(Bare.FileName, nullptr);

  std::vector<uint64_t> Buffer((static_cast<size_t>(Needed) + 7) / 8);
  Get.Size = static_cast<size_t>(Needed);
  Get.Item = reinterpret_cast<PluginPanelItem *>(Buffer.data());
  EXPECT_EQ(Panel(PANEL_ACTIVE, FCTL_GETPANELITEM, 0, &Get), Needed);
  EXPECT_EQ(std::wstring(Get.Item->FileName), L"name.txt");
  EXPECT_EQ(Panel(PANEL_ACTIVE, FCTL_GETPANELITEM, 1, nullptr), 0);
}

TEST_F(HostServicesTest, TheParentItemCannotBeSelectedAndUnknownPanelHandlesAreReported) {
  THostPanels &Panels = Host.Part<THostPanels>();
  Panels.SetActiveSide(THostSide::Left);
  ASSERT_EQ(Panels.Panel(THostSide::Left).Items.at(0).FileName, L"..");
  EXPECT_TRUE(Panel(PANEL_ACTIVE, FCTL_SETSELECTION, 0, reinterpret_cast<void *>(1)));
  EXPECT_TRUE(Panels.SelectedNames(THostSide::Left).empty());
  EXPECT_FALSE(Panel(PANEL_ACTIVE, FCTL_SETSELECTION, 100000, reinterpret_cast<void *>(1)));

  ExpectHostFailure("an unknown panel handle", [&] {
    EXPECT_FALSE(Panel(reinterpret_cast<HANDLE>(0x1234), FCTL_GETPANELINFO, 0, nullptr));
  });
  PanelInfo Short{};
  Short.StructSize = sizeof(PanelInfo) - 8;
  ExpectHostFailure("a short PanelInfo",
                    [&] { EXPECT_FALSE(Panel(PANEL_ACTIVE, FCTL_GETPANELINFO, 0, &Short)); });
}

TEST_F(HostServicesTest, WindowInfoGivesTextSizesFirstAndSwitchingTakesEffectOnCommit) {
  THostWindows &Windows = Host.Part<THostWindows>();
  size_t Editor = Windows.Add(WTYPE_EDITOR, L"C:\\work\\file.txt");
  EXPECT_EQ(Adv(ACTL_GETWINDOWCOUNT, 0, nullptr), 2);

  WindowInfo Info{};
  Info.StructSize = sizeof(Info);
  Info.Pos = static_cast<intptr_t>(Editor);
  ASSERT_TRUE(Adv(ACTL_GETWINDOWINFO, 0, &Info));
  EXPECT_EQ(Info.Type, WTYPE_EDITOR);
  EXPECT_EQ(Info.NameSize, 17);
  EXPECT_EQ(Info.Flags & WIF_CURRENT, 0u);
  std::vector<wchar_t> Name(static_cast<size_t>(Info.NameSize));
  Info.Name = Name.data();
  ASSERT_TRUE(Adv(ACTL_GETWINDOWINFO, 0, &Info));
  EXPECT_EQ(std::wstring(Name.data()), L"C:\\work\\file.txt");

  Info.Pos = 5;
  EXPECT_FALSE(Adv(ACTL_GETWINDOWINFO, 0, &Info));
  EXPECT_FALSE(Adv(ACTL_SETCURRENTWINDOW, 5, nullptr));

  EXPECT_TRUE(Adv(ACTL_SETCURRENTWINDOW, static_cast<intptr_t>(Editor), nullptr));
  EXPECT_EQ(Windows.Current, 0u);
  EXPECT_TRUE(Adv(ACTL_COMMIT, 0, nullptr));
  EXPECT_EQ(Windows.Current, Editor);
  WindowType Type{sizeof(WindowType), WTYPE_UNKNOWN};
  ASSERT_TRUE(Adv(ACTL_GETWINDOWTYPE, 0, &Type));
  EXPECT_EQ(Type.Type, WTYPE_EDITOR);
}

} // namespace
