// The settings store wrapper against the host's store: key paths, typed values, what reaches FAR
// and what does not, and values that outlive a reload of the plug-in.

#include "FarConfig.h"
#include "HostInProcess.h"
#include "HostSettings.h"
#include "Velmora.h"

#include <gtest/gtest.h>

namespace {

class FarConfigTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  THostSettings &Store() { return Host.Part<THostSettings>(); }
  size_t SettingsCalls() const { return Host.CallCount(L"SettingsControl"); }
};

TEST_F(FarConfigTest, ResolvesPathsFromTheRootAndFromAnOpenKey) {
  TFarConfig Config;
  EXPECT_EQ(Config.ResolvePath(L"a\\b\\"), L"a\\b");
  EXPECT_EQ(Config.ResolvePath(L""), L"");
  EXPECT_EQ(Config.ResolvePath(L"\\\\"), L"");
  ASSERT_TRUE(Config.Open(L"x"));
  EXPECT_EQ(Config.ResolvePath(L"a\\b\\"), L"x\\a\\b");
  EXPECT_EQ(Config.ResolvePath(L""), L"x");
  EXPECT_EQ(Config.ResolvePath(L"\\y"), L"y");
  EXPECT_EQ(Config.ResolvePath(L"\\\\\\y\\\\"), L"y");
}

TEST_F(FarConfigTest, OpenCreatesTheKeysOnTheWayAndDoubledBackslashesNameTheSameKey) {
  TFarConfig Config;
  ASSERT_TRUE(Config.Open(L"a\\\\b\\"));
  EXPECT_TRUE(Config.IsOpen());
  EXPECT_EQ(Config.GetPath(), L"a\\b");
  EXPECT_NE(Config.GetRoot(), 0u);
  EXPECT_TRUE(Store().HasKey(VelmoraPluginGuid, L"a\\b"));
  ASSERT_TRUE(Config.WriteNumber(L"n", 7));
  EXPECT_EQ(Store().GetNumber(VelmoraPluginGuid, L"a\\b", L"n"), 7u);

  TFarConfig Other;
  ASSERT_TRUE(Other.Open(L"\\a\\b", true));
  EXPECT_EQ(Other.ReadNumber(L"n", 0), 7);
}

TEST_F(FarConfigTest, OpeningTheKeyThatIsOpenKeepsTheStoreAndItsHandle) {
  TFarConfig Config;
  ASSERT_TRUE(Config.Open(L"k"));
  HANDLE Handle = Config.GetHandle();
  size_t Created = Store().CreatedHandles();
  EXPECT_TRUE(Config.Open(L"\\k\\"));
  EXPECT_EQ(Config.GetHandle(), Handle);
  EXPECT_EQ(Store().CreatedHandles(), Created);
  EXPECT_EQ(Store().OpenHandles(), 1u);
  // Another key reopens the store; the old handle is freed, not leaked.
  ASSERT_TRUE(Config.Open(L"\\other"));
  EXPECT_EQ(Store().OpenHandles(), 1u);
  Config.Close();
  EXPECT_FALSE(Config.IsOpen());
  EXPECT_EQ(Config.GetRoot(), 0u);
  EXPECT_EQ(Config.GetPath(), L"");
  EXPECT_EQ(Store().OpenHandles(), 0u);
}

TEST_F(FarConfigTest, OpenExistingOnlyFailsOnAMissingKeyAndLeavesTheStoreClosed) {
  TFarConfig Config;
  EXPECT_FALSE(Config.Open(L"missing\\key", true));
  EXPECT_FALSE(Config.IsOpen());
  EXPECT_EQ(Config.GetPath(), L"");
  EXPECT_FALSE(Store().HasKey(VelmoraPluginGuid, L"missing"));
  EXPECT_EQ(Store().OpenHandles(), 0u);
}

TEST_F(FarConfigTest, AStoreFarRefusesStaysClosedAndEveryOperationFails) {
  Store().RefuseCreate = true;
  TFarConfig Config(true);
  EXPECT_FALSE(Config.IsOpen());
  EXPECT_FALSE(Config.WriteString(L"s", L"text"));
  EXPECT_EQ(Config.ReadString(L"s", L"default"), L"default");
}

TEST_F(FarConfigTest, AClosedStoreAnswersWithTheDefaultWithoutAskingFar) {
  TFarConfig Config;
  size_t Before = SettingsCalls();
  int64_t Number = 5;
  EXPECT_FALSE(Config.TryReadNumber(L"n", Number));
  EXPECT_EQ(Number, 5);
  EXPECT_EQ(Config.ReadNumber(L"n", 42), 42);
  EXPECT_TRUE(Config.ReadBool(L"b", true));
  EXPECT_EQ(Config.ReadString(L"s", L"d"), L"d");
  EXPECT_FALSE(Config.WriteNumber(L"n", 1));
  EXPECT_FALSE(Config.WriteBool(L"b", true));
  EXPECT_FALSE(Config.WriteString(L"s", L"x"));
  EXPECT_EQ(SettingsCalls(), Before);
}

TEST_F(FarConfigTest, ValuesAreTypedAndAValueOfAnotherTypeIsNotThere) {
  Store().SetNumber(VelmoraPluginGuid, L"", L"Number", 0xFFFFFFFFFFFFFFFFull);
  Store().SetNumber(VelmoraPluginGuid, L"", L"Two", 2);
  Store().SetString(VelmoraPluginGuid, L"", L"Text", L"a\x00e9z");
  Store().SetData(VelmoraPluginGuid, L"", L"Blob", {1, 2, 3});
  TFarConfig Config(true);
  ASSERT_TRUE(Config.IsOpen());

  EXPECT_EQ(Config.ReadNumber(L"Number", 0), -1);
  bool Flag = false;
  EXPECT_TRUE(Config.TryReadBool(L"Two", Flag));
  EXPECT_TRUE(Flag);
  EXPECT_EQ(Config.ReadString(L"Text", L""), L"a\x00e9z");

  std::wstring Text = L"kept";
  EXPECT_FALSE(Config.TryReadString(L"Number", Text));
  EXPECT_EQ(Text, L"kept");
  int64_t Number = 9;
  EXPECT_FALSE(Config.TryReadNumber(L"Text", Number));
  EXPECT_FALSE(Config.TryReadNumber(L"Blob", Number));
  EXPECT_FALSE(Config.TryReadNumber(L"Missing", Number));
  EXPECT_EQ(Number, 9);
  EXPECT_FALSE(Config.ReadBool(L"Text", false));
}

TEST_F(FarConfigTest, BooleansAreWrittenAsOneOrZeroAndAWriteReplacesTheType) {
  Store().SetString(VelmoraPluginGuid, L"", L"Flag", L"yes");
  {
    TFarConfig Config(true);
    ASSERT_TRUE(Config.WriteBool(L"Flag", true));
    ASSERT_TRUE(Config.WriteBool(L"Off", false));
    ASSERT_TRUE(Config.WriteString(L"Empty", L""));
  }
  EXPECT_EQ(Store().GetNumber(VelmoraPluginGuid, L"", L"Flag"), 1u);
  EXPECT_EQ(Store().GetNumber(VelmoraPluginGuid, L"", L"Off"), 0u);
  EXPECT_EQ(Store().GetString(VelmoraPluginGuid, L"", L"Empty"), L"");
  EXPECT_EQ(Store().OpenHandles(), 0u);
}

TEST_F(FarConfigTest, AKeyOnlyHoldsItsOwnValues) {
  Store().SetNumber(VelmoraPluginGuid, L"sub", L"n", 3);
  TFarConfig Config(true);
  EXPECT_EQ(Config.ReadNumber(L"n", -1), -1);
  ASSERT_TRUE(Config.Open(L"sub", true));
  EXPECT_EQ(Config.ReadNumber(L"n", -1), 3);
}

// The store belongs to the host, so values written by one plug-in object are there for the next
// one after an unload and a reload within the same host.
TEST(FarConfigReloadTest, ValuesOutliveAReloadOfThePlugin) {
  TFarHost Host;
  HostReportFailuresToTest(Host);
  {
    THostInProcessPlugin Loaded(Host, std::make_unique<TVelmoraPlugin>());
    TFarConfig Config(true);
    ASSERT_TRUE(Config.WriteString(L"Kept", L"across reloads"));
  }
  EXPECT_FALSE(PluginExists());
  {
    THostInProcessPlugin Reloaded(Host, std::make_unique<TVelmoraPlugin>());
    TFarConfig Config(true);
    EXPECT_EQ(Config.ReadString(L"Kept", L""), L"across reloads");
  }
}

} // namespace
