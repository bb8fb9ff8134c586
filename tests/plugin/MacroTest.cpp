// Macro commands: FAR's macro values as the plug-in reads them, and every command word through
// OpenW, outside a differences document and inside one made by a real comparison.

#include "FarEditor.h"
#include "FarMacro.h"
#include "HostDialogs.h"
#include "HostEditor.h"
#include "HostInProcess.h"
#include "HostPanels.h"
#include "HostSettings.h"
#include "Velmora.h"
#include "VelmoraMessages.h"
#include "compare/ScratchFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

FarMacroValue Str(const wchar_t *Text) {
  FarMacroValue Value{};
  Value.Type = FMVT_STRING;
  Value.String = Text;
  return Value;
}

FarMacroValue Int(long long Number) {
  FarMacroValue Value{};
  Value.Type = FMVT_INTEGER;
  Value.Integer = Number;
  return Value;
}

TFarVariants Convert(std::vector<FarMacroValue> Values, size_t StructSize = sizeof(OpenMacroInfo)) {
  OpenMacroInfo Info{StructSize, Values.size(), Values.data()};
  return TFarMacro::ToVariants(&Info);
}

} // namespace

TEST(FarMacroTest, EveryKindOfMacroValueIsConverted) {
  static const unsigned char Bytes[] = {0, 7, 255};
  FarMacroValue Inner[2] = {Int(-3), Str(nullptr)};
  std::vector<FarMacroValue> Values(8);
  Values[0] = Int(1LL << 40);
  Values[1] = Str(L"left");
  Values[2].Type = FMVT_DOUBLE;
  Values[2].Double = 2.5;
  Values[3].Type = FMVT_BOOLEAN;
  Values[3].Boolean = 2;
  Values[4].Type = FMVT_BINARY;
  Values[4].Binary.Data = const_cast<unsigned char *>(Bytes);
  Values[4].Binary.Size = sizeof Bytes;
  Values[5].Type = FMVT_NIL;
  Values[6].Type = FMVT_ARRAY;
  Values[6].Array.Values = Inner;
  Values[6].Array.Count = 2;
  Values[7].Type = FMVT_PANEL;

  const TFarVariants Result = Convert(Values);
  ASSERT_EQ(8u, Result.size());
  EXPECT_EQ(TFarVariant(int64_t(1) << 40), Result[0]);
  EXPECT_EQ(TFarVariant(L"left"), Result[1]);
  EXPECT_EQ(TFarVariant(2.5), Result[2]);
  EXPECT_EQ(TFarVariant(true), Result[3]);
  EXPECT_EQ(TFarVariant(TFarVariants{TFarVariant(0), TFarVariant(7), TFarVariant(255)}), Result[4]);
  EXPECT_TRUE(Result[5].IsNull());
  EXPECT_EQ(TFarVariant(TFarVariants{TFarVariant(-3), TFarVariant(L"")}), Result[6]);
  EXPECT_TRUE(Result[7].IsUnassigned());
}

TEST(FarMacroTest, NoValuesFromMissingOrMalformedCalls) {
  EXPECT_TRUE(TFarMacro::ToVariants(nullptr).empty());
  EXPECT_TRUE(Convert({Int(1)}, sizeof(OpenMacroInfo) - 1).empty());
  EXPECT_TRUE(Convert({}).empty());
  OpenMacroInfo NoArray{sizeof(OpenMacroInfo), 3, nullptr};
  EXPECT_TRUE(TFarMacro::ToVariants(&NoArray).empty());

  // An array that contains itself ends in an unassigned value instead of endless recursion.
  FarMacroValue Self{};
  Self.Type = FMVT_ARRAY;
  Self.Array.Values = &Self;
  Self.Array.Count = 1;
  TFarVariant Value = TFarMacro::ToVariant(Self);
  int Depth = 0;
  while (Value.Kind() == TFarVariant::vkArray) {
    ASSERT_EQ(1u, Value.Items().size());
    TFarVariant Next = Value.Items()[0];
    Value = Next;
    ++Depth;
  }
  EXPECT_TRUE(Value.IsUnassigned());
  EXPECT_EQ(TFarMacro::MaxArrayDepth, Depth);
}

TEST(FarMacroTest, ValuesAsText) {
  EXPECT_EQ(L"5", TFarVariant(5).ToString());
  EXPECT_EQ(L"-12", TFarVariant(int64_t(-12)).ToString());
  EXPECT_EQ(L"2.5", TFarVariant(2.5).ToString());
  EXPECT_EQ(L"0.1", TFarVariant(0.1).ToString());
  EXPECT_EQ(L"3", TFarVariant(3.0).ToString());
  EXPECT_EQ(L"True", TFarVariant(true).ToString());
  EXPECT_EQ(L"False", TFarVariant(false).ToString());
  EXPECT_EQ(L"left", TFarVariant(L"left").ToString());
  EXPECT_EQ(L"", TFarVariant::Null().ToString());
  EXPECT_EQ(L"", TFarVariant().ToString());
  EXPECT_EQ(L"", TFarVariant(TFarVariants{TFarVariant(1)}).ToString());
}

namespace {

class MacroTest : public TInProcessPluginTest<TVelmoraPlugin> {
protected:
  void TearDown() override {
    TFarEditorManaged::FreeAdopted();
    TInProcessPluginTest<TVelmoraPlugin>::TearDown();
  }

  intptr_t Macro(std::vector<FarMacroValue> Values) { return Host.OpenFromMacro(Values); }

  std::vector<THostMessage> Questions() {
    std::vector<THostMessage> Result;
    for (const THostMessage &Message : Host.Messages())
      if (Message.ButtonsNumber > 0)
        Result.push_back(Message);
    return Result;
  }

  static void WriteFile(const std::wstring &Path, const std::string &Bytes) {
    ASSERT_TRUE(WriteBytes(Path, Bytes));
  }

  // A document of three lines: a.txt on the left only, b.txt differing (same time) and c.txt on
  // the right only. The cursor starts on the a.txt line.
  void OpenDocument() {
    Left = Folder.Path() + L"\\left";
    Right = Folder.Path() + L"\\right";
    ASSERT_TRUE(CreateDirectoryW(Left.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(Right.c_str(), nullptr));
    WriteFile(Left + L"\\a.txt", "a");
    WriteFile(Left + L"\\b.txt", "b");
    WriteFile(Right + L"\\b.txt", "bb");
    WriteFile(Right + L"\\c.txt", "c");
    // Same write time for both b.txt, so the pair is <--> and concerns both sides.
    HANDLE LeftB = CreateFileW((Left + L"\\b.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                               0, nullptr);
    HANDLE RightB = CreateFileW((Right + L"\\b.txt").c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    FILETIME Time{0x12345678, 0x01D9A000};
    SetFileTime(LeftB, nullptr, nullptr, &Time);
    SetFileTime(RightB, nullptr, nullptr, &Time);
    CloseHandle(LeftB);
    CloseHandle(RightB);
    ASSERT_TRUE(HostPanels().SetFolder(THostSide::Left, Left));
    ASSERT_TRUE(HostPanels().SetFolder(THostSide::Right, Right));
    THostDialogUser(Host.Script()).Press(L"OK");
    ASSERT_EQ(0, Host.OpenFromPluginsMenu());
    Window = THostEditor::Of(Host).Current();
    ASSERT_NE(nullptr, Window);
    ASSERT_EQ(L"==>>F\ta.txt", CursorLine());
  }
  std::wstring CursorLine() { return Window->Line(size_t(Window->CurLine())); }
  intptr_t LineOf(const std::wstring &Text) {
    for (size_t I = 0; I < Window->LineCount(); ++I)
      if (Window->Line(I) == Text)
        return intptr_t(I);
    return -1;
  }

  TScratchFolder Folder;
  std::wstring Left, Right;
  THostEditorWindow *Window = nullptr;
};

} // namespace

TEST_F(MacroTest, OutsideADocumentEveryCommandIsFalseAndSilent) {
  EXPECT_EQ(0, Macro({}));
  EXPECT_EQ(0, Macro({Str(L"is_editor")}));
  EXPECT_EQ(0, Macro({Str(L"change_direction")})); // the missing side is not even looked at
  EXPECT_EQ(0, Macro({Str(L"goto_file"), Str(L"Left")}));
  for (const wchar_t *Word : {L"next_difference", L"edit_file", L"file_info", L"compare", L"unknown"})
    EXPECT_EQ(0, Macro({Str(Word), Str(L"left")})) << HostUtf8(Word);
  EXPECT_TRUE(Host.Messages().empty());
}

TEST_F(MacroTest, InsideADocumentTheWordsRunTheDocumentsCommands) {
  OpenDocument();
  EXPECT_EQ(1, Macro({Str(L"is_editor"), Int(7), Str(L"ignored")}));

  // Next difference concerning the right side: b.txt (both sides), then c.txt is left-only
  // ... and concerns the left, so the search from b.txt for the right finds nothing.
  EXPECT_EQ(1, Macro({Str(L"next_difference"), Str(L"right")}));
  EXPECT_EQ(L"<-->S\tb.txt", CursorLine());
  EXPECT_EQ(0, Macro({Str(L"next_difference"), Str(L"right")}));
  EXPECT_EQ(L"<-->S\tb.txt", CursorLine());
  EXPECT_EQ(1, Macro({Str(L"next_difference"), Str(L"left"), Str(L"extra")}));
  EXPECT_EQ(L"<<==F\tc.txt", CursorLine());

  // Change direction on b.txt towards the left.
  Window->MoveCursor(LineOf(L"<-->S\tb.txt"), 0);
  EXPECT_EQ(1, Macro({Str(L"change_direction"), Str(L"left")}));
  EXPECT_EQ(L"<---\tb.txt", CursorLine());
  EXPECT_EQ(1, Macro({Str(L"change_direction"), Str(L"right")}));
  EXPECT_EQ(L"--->\tb.txt", CursorLine());

  // Per-line deletion: c.txt is only on the right, so only the right one can be deleted.
  Window->MoveCursor(LineOf(L"<<==F\tc.txt"), 0);
  EXPECT_EQ(0, Macro({Str(L"delete"), Str(L"left")}));
  EXPECT_EQ(1, Macro({Str(L"delete"), Str(L"right")}));
  EXPECT_EQ(L"DEL>\tc.txt", CursorLine());
  Window->MoveCursor(LineOf(L"--->\tb.txt"), 0);

  // Go to the line's file on the right panel.
  EXPECT_EQ(1, Macro({Str(L"goto_file"), Str(L"right")}));
  EXPECT_EQ(L"b.txt", HostPanels().CurrentName(THostSide::Right));
  EXPECT_EQ(THostSide::Right, HostPanels().ActiveSide());
  Window->Activate();

  // The file information box.
  Host.Script().AnswerMessage(0);
  EXPECT_EQ(1, Macro({Str(L"file_info")}));
  ASSERT_EQ(1u, Questions().size());
  EXPECT_NE(std::wstring::npos, Questions()[0].Body().find(L"b.txt"));
  Host.ClearRecords();

  // The external compare program (a missing command is said, and the command still counts).
  HostSettings().SetString(VelmoraPluginGuid, L"", L"CompareCommand", L"");
  Host.Script().AnswerMessage(0, Host.Msg(MNoCompareCommandText));
  EXPECT_EQ(1, Macro({Str(L"compare"), Str(L"ignored")}));
  Host.ClearRecords();

  // Editing the line's left file opens it in a window of its own.
  EXPECT_EQ(1, Macro({Str(L"edit_file"), Str(L"left")}));
  ASSERT_NE(nullptr, THostEditor::Of(Host).Current());
  EXPECT_EQ(L"\\\\?\\" + Left + L"\\b.txt", THostEditor::Of(Host).Current()->FileName());
  // That window is no document.
  EXPECT_EQ(0, Macro({Str(L"is_editor")}));
  EXPECT_TRUE(Questions().empty());
}

TEST_F(MacroTest, WordsAreExactAndSidesAreChecked) {
  OpenDocument();
  EXPECT_EQ(0, Macro({Str(L"frobnicate"), Str(L"left")}));
  EXPECT_EQ(0, Macro({Str(L"Is_Editor")}));
  EXPECT_EQ(0, Macro({Int(5)}));
  EXPECT_TRUE(Questions().empty());

  // The errors reach the user through OpenW's report, and the macro gets false.
  Host.Script().AnswerMessage(0);
  EXPECT_EQ(0, Macro({Str(L"change_direction")}));
  Host.Script().AnswerMessage(0);
  EXPECT_EQ(0, Macro({Str(L"goto_file"), Str(L"Left")}));
  Host.Script().AnswerMessage(0);
  EXPECT_EQ(0, Macro({Str(L"edit_file"), Int(1)}));
  const std::vector<THostMessage> Asked = Questions();
  ASSERT_EQ(3u, Asked.size());
  EXPECT_NE(std::wstring::npos, Asked[0].Body().find(L"EVelmoraPluginError"));
  EXPECT_NE(std::wstring::npos, Asked[0].Body().find(L"The macro command needs argument 2"));
  EXPECT_NE(std::wstring::npos, Asked[1].Body().find(L"Invalid side 'Left'"));
  EXPECT_NE(std::wstring::npos, Asked[2].Body().find(L"Invalid side '1'"));
  // Nothing was changed by the refused commands.
  EXPECT_EQ(L"==>>F\ta.txt", CursorLine());
}

TEST_F(MacroTest, NextDifferenceOnEitherSideGoesToTheNearestLine) {
  OpenDocument();
  // From the top the nearest difference is a.txt, which concerns only the right side; trying the
  // left first would skip it for b.txt.
  Window->MoveCursor(0, 0);
  EXPECT_EQ(1, Macro({Str(L"next_difference"), Str(L"left")}));
  EXPECT_EQ(L"<-->S\tb.txt", CursorLine());
  Window->MoveCursor(0, 0);
  EXPECT_EQ(1, Macro({Str(L"next_difference"), Str(L"either")}));
  EXPECT_EQ(L"==>>F\ta.txt", CursorLine());
  EXPECT_EQ(1, Macro({Str(L"next_difference"), Str(L"either")}));
  EXPECT_EQ(L"<-->S\tb.txt", CursorLine());
  EXPECT_EQ(1, Macro({Str(L"next_difference"), Str(L"either")}));
  EXPECT_EQ(L"<<==F\tc.txt", CursorLine());
  // Past the last difference: false, and the cursor stays.
  EXPECT_EQ(0, Macro({Str(L"next_difference"), Str(L"either")}));
  EXPECT_EQ(L"<<==F\tc.txt", CursorLine());
  // "either" is a word of next_difference only.
  Host.Script().AnswerMessage(0);
  EXPECT_EQ(0, Macro({Str(L"goto_file"), Str(L"either")}));
}
