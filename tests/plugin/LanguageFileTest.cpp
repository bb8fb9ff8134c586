// The language files are read by FAR, not by the plug-in: a missing line shifts every later text,
// a stray %s crashes nothing here but throws at run time, and two equal hotkeys make one control
// unreachable. These tests read each file as FAR does and check what the code relies on.

#include "FarFormat.h"
#include "HostLanguage.h"
#include "VelmoraMessages.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TLanguageCase {
  const char *FileName;
  const wchar_t *Header;
  const wchar_t *Name;
};

const TLanguageCase LanguageCases[] = {
    {"Velmora3Eng.lng", L".Language=English,English", L"English"},
    {"Velmora3Rus.lng", L".Language=Russian,Russian (\u0420\u0443\u0441\u0441\u043A\u0438\u0439)",
     L"Russian"},
};

std::string PluginFolder() {
  return std::string(VELMORA_SOURCE_DIR) + "/src/plugin/";
}

std::string Narrow(const std::wstring &Text) {
  int Size = WideCharToMultiByte(CP_UTF8, 0, Text.data(), int(Text.size()), nullptr, 0, nullptr, nullptr);
  std::string Result(Size > 0 ? Size : 0, '\0');
  if (Size > 0)
    WideCharToMultiByte(CP_UTF8, 0, Text.data(), int(Text.size()), Result.data(), Size, nullptr, nullptr);
  return Result;
}

std::wstring Trim(const std::wstring &Text) {
  size_t Begin = Text.find_first_not_of(L" \t");
  if (Begin == std::wstring::npos)
    return {};
  return Text.substr(Begin, Text.find_last_not_of(L" \t") - Begin + 1);
}

// One language file: the bytes, FAR's reading of them (the host's), and where each message line
// stands together with the comment above it, so that a failure can point at the line.
struct TLanguageFile {
  std::string FileName;
  std::string Bytes;
  bool Readable = false;
  THostLanguageFile Host;
  std::vector<std::wstring> Lines;
  std::vector<int> MessageLine;      // 1-based line number of message n
  std::vector<std::wstring> Comment; // the comment line right above message n, or empty
  std::vector<std::string> Problems; // lines that are neither comment, message nor blank

  const std::wstring &Text(int N) const { return Host.Messages().at(N); }

  // "Velmora3Eng.lng message 12 (line 40)" — every failure names the message it is about.
  std::string Where(int N) const {
    std::ostringstream Out;
    Out << FileName << " message " << N;
    if (N >= 0 && N < int(MessageLine.size()))
      Out << " (line " << MessageLine[N] << ")";
    return Out.str();
  }
};

TLanguageFile LoadLanguageFile(const std::string &FileName) {
  TLanguageFile File;
  File.FileName = FileName;
  std::ifstream In(PluginFolder() + FileName, std::ios::binary);
  if (!In)
    return File;
  File.Readable = true;
  File.Bytes.assign(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  std::wstring Text = THostLanguageFile::Decode(File.Bytes);
  File.Host = THostLanguageFile::Parse(Text);
  if (!Text.empty() && Text[0] == L'\xFEFF')
    Text.erase(0, 1);

  std::wistringstream Stream(Text);
  std::wstring Line, LastComment;
  while (std::getline(Stream, Line)) {
    if (!Line.empty() && Line.back() == L'\r')
      Line.pop_back();
    File.Lines.push_back(Line);
    const int Number = int(File.Lines.size());
    const std::wstring Trimmed = Trim(Line);
    if (Number == 1 || Trimmed.empty())
      continue;
    if (Trimmed.rfind(L"//", 0) == 0) {
      LastComment = Trimmed;
    } else if (Trimmed[0] == L'"') {
      // FAR drops a missing closing quote silently; in these files it always means a damaged line.
      if (Trimmed.size() < 2 || Trimmed.back() != L'"')
        File.Problems.push_back("line " + std::to_string(Number) + " has no closing quote");
      File.MessageLine.push_back(Number);
      File.Comment.push_back(LastComment);
      LastComment.clear();
    } else {
      File.Problems.push_back("line " + std::to_string(Number) +
                              " is neither a comment nor a message: " + Narrow(Trimmed));
    }
  }
  return File;
}

const TLanguageFile &CachedFile(const std::string &FileName) {
  static std::map<std::string, TLanguageFile> Cache;
  auto Found = Cache.find(FileName);
  if (Found == Cache.end())
    Found = Cache.emplace(FileName, LoadLanguageFile(FileName)).first;
  return Found->second;
}

// --- Formats -------------------------------------------------------------------------------------

// The conversions of a text in the grammar of Format (FarFormat.h): '%', the flags '-' and '0', a
// width, a precision, then the conversion letter; "%%" is a percent sign. An unknown letter is
// kept as it is, so that it shows up as a mismatch.
std::wstring Conversions(const std::wstring &Text, bool &HasPercentSign) {
  std::wstring Result;
  HasPercentSign = false;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] != L'%')
      continue;
    HasPercentSign = true;
    size_t J = I + 1;
    while (J < Text.size() && (Text[J] == L'-' || Text[J] == L'0'))
      ++J;
    while (J < Text.size() && iswdigit(Text[J]))
      ++J;
    if (J < Text.size() && Text[J] == L'.') {
      ++J;
      while (J < Text.size() && iswdigit(Text[J]))
        ++J;
    }
    if (J >= Text.size()) {
      Result += L'?';
      break;
    }
    if (Text[J] != L'%')
      Result += Text[J];
    I = J;
  }
  return Result;
}

// The messages used as formats and the conversions each one must have, in order.
const std::map<int, std::wstring> FormatMessages = {
    {MExceptionInFunction, L"s"},  // the entry point's name
    {MDocumentTitle, L"ss"},       // the left and the right directory
    {MMacroMissingArgument, L"d"}, // the argument's position, from 1
    {MMacroInvalidSide, L"s"},     // the text given as the side
    {MSelectedDifferences, L"d"},  // how many differences were selected
    {MDocumentIncludeMasks, L"s"},
    {MDocumentExcludeMasks, L"s"}, // the masks
    {MSyncCountsCopyLeft, L"ss"},
    {MSyncCountsCopyRight, L"ss"}, // files and bytes
    {MSyncCountsDelete, L"ss"},    // entries left and right
    {MProgressTotal, L"ssss"},     // files and bytes, done of all
    {MProgressTime, L"ss"},        // elapsed and left
    {MMassDeletionLeft, L"ss"},
    {MMassDeletionRight, L"ss"}, // to delete, of all
    {MEmptySideDeletes, L"s"},   // to delete
    {MNoSpaceLeft, L"ss"},
    {MNoSpaceRight, L"ss"},           // to copy, free
    {MDocumentMemoryLast, L"s"},      // when the pair was synchronised
    {MDocumentMemoryDamaged, L"s"},   // the state file
    {MCompareProgressCounts, L"sss"}, // entries, differences, elapsed
    {MDeleteAtLeastLeft, L"s"},
    {MDeleteAtLeastRight, L"s"}, // deletions counted before Esc
    {MNoSpaceBoth, L"ss"},       // to copy, free
    {MSpaceAtLeastLeft, L"ss"},
    {MSpaceAtLeastRight, L"ss"}, // counted before Esc, free
    {MSpaceAtLeastBoth, L"ss"},
    {MRunSummaryDone, L"s"},     // the run's time
    {MRunSummaryCopied, L"ss"},  // files and bytes
    {MRunSummaryDeleted, L"ss"}, // entries, to the Recycle Bin
    {MRunSummaryFailed, L"ss"},  // failures, left undone
    {MRunSummaryLog, L"s"},
    {MRunSummaryNoLog, L"s"},        // the record's path, the reason
    {MForgetAllPairsQuestion, L"s"}, // how many pairs
};

std::wstring ExpectedConversions(int N) {
  auto Found = FormatMessages.find(N);
  return Found == FormatMessages.end() ? std::wstring() : Found->second;
}

// --- Hotkeys -------------------------------------------------------------------------------------

// A dialog or menu and the messages of its controls that carry a hotkey. Labels have none, except
// the two labels of the options dialog's edit fields (their hotkey moves the focus to the field).
struct THotkeyGroup {
  const char *Name;
  std::vector<int> Messages;
};

const std::vector<THotkeyGroup> HotkeyGroups = {
    {"discover dialog",
     {MDiscoverProcessSubfolders, MDiscoverUseMaxScanDepth, MDiscoverProcessSelected,
      MDiscoverCompareFileNameCase, MDiscoverCompareTime, MDiscoverLowPrecisionTime, MDiscoverIgnoreTimeZone,
      MDiscoverCompareSize, MDiscoverCompareContents, MDiscoverCompareContentsIgnore, MDiscoverIgnoreNewLines,
      MDiscoverIgnoreWhitespace, MDiscoverSelectOnBothPanels, MDiscoverIncludeMasks, MDiscoverExcludeMasks,
      MDiscoverRememberPair, MOk, MCancel}},
    {"options dialog",
     {MOptionsCompareCommand, MOptionsCompareArguments, MOptionsAcceptsNTFileNames, MOptionsShowDescription,
      MOptionsSilentModeByDefault, MGlobalRemember, MOptionsDeleteToRecycleBin, MOptionsVerifyCopies,
      MOptionsConfirmMassDeletion, MOptionsCheckFreeSpace, MOptionsColourDocument, MOptionsShowRunSummary,
      MOptionsForgetPairs, MOk, MCancel}},
    {"message at the end of a run", {MOk, MViewLog}},
    {"synchronise dialog",
     {MSyncCopyToLeft, MSyncConfirmOverwriteLeft, MSyncCopyToRight, MSyncConfirmOverwriteRight,
      MSyncDifferentAsk, MSyncDifferentSkip, MSyncDifferentCopyToLeft, MSyncDifferentCopyToRight,
      MSyncDeleteOnLeft, MSyncDeleteOnRight, MSyncSilentMode, MGlobalRemember, MOk, MSyncBackToDocument,
      MCancel}},
    // Each confirmation shows one of the two remember check boxes, so it is checked with both.
    {"overwrite question", {MOverwrite, MSkip, MCompare, MCancel, MRememberForDirectory}},
    {"overwrite question, answers everywhere", {MOverwrite, MSkip, MCompare, MCancel, MRememberGlobal}},
    {"delete question", {MDelete, MSkip, MCompare, MCancel, MRememberForDirectory}},
    {"delete question, answers everywhere", {MDelete, MSkip, MCompare, MCancel, MRememberGlobal}},
    {"retry question", {MRetry, MSkip, MCompare, MCancel, MRememberForDirectory}},
    {"retry question, answers everywhere", {MRetry, MSkip, MCompare, MCancel, MRememberGlobal}},
    {"what-to-do question",
     {MCopyToLeftAction, MCopyToRightAction, MSkip, MCompare, MCancel, MRememberForDirectory}},
    {"what-to-do question, answers everywhere",
     {MCopyToLeftAction, MCopyToRightAction, MSkip, MCompare, MCancel, MRememberGlobal}},
    // The two-button confirmation before a concrete question replaces its answer buttons.
    {"two-button confirmation", {MYes, MNo, MCompare, MCancel, MRememberForDirectory}},
    {"two-button confirmation, answers everywhere", {MYes, MNo, MCompare, MCancel, MRememberGlobal}},
    {"abort question", {MOk, MCancel}},
    {"warning before the run", {MGoOn, MSyncBackToDocument, MCancel}},
    {"command menu",
     {MMenuChangeToLeft, MMenuChangeToRight, MMenuCompare, MMenuEditLeft, MMenuEditRight, MMenuFileInfo,
      MMenuNextDifferenceLeft, MMenuNextDifferenceRight, MMenuGotoLeft, MMenuGotoRight}},
};

std::set<int> HotkeyMessages() {
  std::set<int> Result;
  for (const auto &Group : HotkeyGroups)
    Result.insert(Group.Messages.begin(), Group.Messages.end());
  return Result;
}

// FAR matches hotkeys without regard to case. Cyrillic letters that look like Latin ones are
// folded onto them too: two hotkeys that look alike confuse the user even on different keys.
wchar_t HotkeyKey(wchar_t C) {
  if (C >= L'a' && C <= L'z')
    return wchar_t(C - L'a' + L'A');
  if (C >= L'\x0430' && C <= L'\x044F')
    C = wchar_t(C - 0x20);
  else if (C >= L'\x0450' && C <= L'\x045F')
    C = wchar_t(C - 0x50);
  static const std::map<wchar_t, wchar_t> LookAlike = {
      {L'\x0410', L'A'}, {L'\x0412', L'B'}, {L'\x0415', L'E'}, {L'\x041A', L'K'}, {L'\x041C', L'M'},
      {L'\x041D', L'H'}, {L'\x041E', L'O'}, {L'\x0420', L'P'}, {L'\x0421', L'C'}, {L'\x0422', L'T'},
      {L'\x0425', L'X'}, {L'\x0423', L'Y'}, {L'\x0405', L'S'}, {L'\x0406', L'I'}, {L'\x0408', L'J'}};
  auto Found = LookAlike.find(C);
  return Found == LookAlike.end() ? C : Found->second;
}

// The hotkey markers of a text: the characters after a single '&' ("&&" shows one '&').
std::wstring HotkeyMarks(const std::wstring &Text) {
  std::wstring Result;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] != L'&')
      continue;
    if (I + 1 < Text.size() && Text[I + 1] == L'&') {
      ++I;
      continue;
    }
    Result += I + 1 < Text.size() ? Text[I + 1] : L'\0';
  }
  return Result;
}

// --- Widths --------------------------------------------------------------------------------------

// Columns a text takes on screen: the hotkey marker is not drawn.
int VisibleWidth(const std::wstring &Text) {
  int Width = 0;
  for (size_t I = 0; I < Text.size(); ++I) {
    if (Text[I] == L'&' && I + 1 < Text.size() && Text[I + 1] != L'&')
      continue;
    if (Text[I] == L'&' && I + 1 < Text.size())
      ++I;
    ++Width;
  }
  return Width;
}

// The dialog framework measures a control by its text with the '&' (GetDisplayWidth): check
// boxes, radio buttons and buttons take the text's length + 4.
int DisplayWidth(const std::wstring &Text) {
  return int(Text.size()) + 4;
}

struct TWidthRule {
  const char *Place;
  std::vector<int> Messages;
  int MaxColumns; // of the visible text
};

// Limits at an 80-column FAR window, the smallest usual size. The discover dialog is always 66
// columns wide (client area 56); the synchronise dialog 76 (client 66); the options dialog and the
// confirmations are the window's width minus 4, so 76 (client 66).
const std::vector<TWidthRule> WidthRules = {
    {"discover dialog label", {MDiscoverScanGroup, MDiscoverCompareGroup}, 56},
    {"discover dialog check box",
     {MDiscoverProcessSubfolders, MDiscoverProcessSelected, MDiscoverCompareFileNameCase,
      MDiscoverCompareTime, MDiscoverCompareSize, MDiscoverCompareContents, MDiscoverSelectOnBothPanels},
     56 - 4},
    {"discover dialog check box indented by 4",
     {MDiscoverLowPrecisionTime, MDiscoverIgnoreTimeZone, MDiscoverCompareContentsIgnore},
     56 - 4 - 4},
    {"discover dialog radio button indented by 8",
     {MDiscoverIgnoreNewLines, MDiscoverIgnoreWhitespace},
     56 - 8 - 4},
    {"synchronise dialog label", {MSyncCopyGroup, MSyncDifferentGroup, MSyncDeleteGroup}, 66},
    {"synchronise dialog check box",
     {MSyncCopyToLeft, MSyncCopyToRight, MSyncDeleteOnLeft, MSyncDeleteOnRight, MSyncSilentMode,
      MGlobalRemember},
     66 - 4},
    {"synchronise dialog check box indented by 4",
     {MSyncConfirmOverwriteLeft, MSyncConfirmOverwriteRight},
     66 - 8},
    {"options dialog label", {MOptionsCompareCommand, MOptionsCompareArguments}, 66},
    {"options dialog check box",
     {MOptionsAcceptsNTFileNames, MOptionsShowDescription, MOptionsSilentModeByDefault, MGlobalRemember},
     66 - 4},
    {"confirmation question",
     {MOverwriteLeft,
      MOverwriteRight,
      MReadOnlyFileLeft,
      MReadOnlyFileRight,
      MDeleteReadOnlyDirectoryLeft,
      MDeleteReadOnlyDirectoryRight,
      MDeleteFileLeft,
      MDeleteFileRight,
      MDeleteDirectoryLeft,
      MDeleteDirectoryRight,
      MFailureMakeDirectory,
      MFailureCopy,
      MFailureOpenSource,
      MFailureOpenTarget,
      MFailureTargetMissing,
      MFailureDeleteFile,
      MFailureRemoveDirectory,
      MFailureCopyTarget,
      MDifferentFilesQuestion,
      MFailureSourceNotFound,
      MFailureSourceNotDirectory,
      MFailureTargetNotDirectory},
     66},
    {"confirmation remember check box", {MRememberForDirectory, MRememberGlobal}, 66 - 4},
    // A file row is the caption cut to the row's width - 40, then the size and the date.
    {"confirmation row caption",
     {MOverwriteSourceRow, MOverwriteTargetRow, MDeleteFileRow, MDeleteDirectoryRow, MDifferentFilesLeftRow,
      MDifferentFilesRightRow},
     66 - 40},
    {"confirmation size column", {MDirectorySize}, 15},
    // The file information rows are formatted with "%-20.20s %20.20s %20.20s".
    {"file information column",
     {MFileInfoSize, MFileInfoCreationTime, MFileInfoLastWriteTime, MFileInfoLastAccessTime, MFileInfoLeft,
      MFileInfoRight, MFileInfoNotAvailable},
     20},
    {"key bar label",
     {MKeyBarChangeToLeft, MKeyBarChangeToRight, MKeyBarCompare, MKeyBarEditLeft, MKeyBarEditRight,
      MKeyBarFileInfo, MKeyBarNextDifferenceLeft, MKeyBarNextDifferenceRight, MKeyBarGotoLeft,
      MKeyBarGotoRight},
     6},
    {"progress label",
     {MCompareProgressLeft, MCompareProgressRight, MCopyProgressSource, MCopyProgressTarget,
      MDeleteFileProgress, MDeleteDirectoryProgress},
     60},
    // Read in an editor as wide as the window; the scroll bar takes a column.
    {"description line of the differences document",
     std::vector<int>(std::begin(VelmoraDocumentDescription), std::end(VelmoraDocumentDescription)), 79},
    {"command menu item",
     {MMenuChangeToLeft, MMenuChangeToRight, MMenuCompare, MMenuEditLeft, MMenuEditRight, MMenuFileInfo,
      MMenuNextDifferenceLeft, MMenuNextDifferenceRight, MMenuGotoLeft, MMenuGotoRight},
     60},
};

// Rows of centred buttons; they must stay inside the frame (the dialog's width - 8 columns).
struct TButtonRow {
  const char *Place;
  std::vector<int> Buttons;
  int MaxColumns;
};

const std::vector<TButtonRow> ButtonRows = {
    {"discover dialog", {MOk, MCancel}, 66 - 8},
    {"synchronise dialog", {MOk, MSyncBackToDocument, MCancel}, 76 - 8},
    {"overwrite question", {MOverwrite, MSkip, MCompare, MCancel}, 76 - 8},
    {"delete question", {MDelete, MSkip, MCompare, MCancel}, 76 - 8},
    {"retry question", {MRetry, MSkip, MCompare, MCancel}, 76 - 8},
    {"what-to-do question", {MCopyToLeftAction, MCopyToRightAction, MSkip, MCompare, MCancel}, 76 - 8},
};

// --- The differences document --------------------------------------------------------------------

const wchar_t *const DifferenceMarkers[] = {L"<<==", L"==>>", L"<---", L"--->",
                                            L"<!--", L"--!>", L"<!!>", L"<-->"};

bool StartsWithMarker(const std::wstring &Line) {
  for (const wchar_t *Marker : DifferenceMarkers)
    if (Line.rfind(Marker, 0) == 0)
      return true;
  return false;
}

bool IsUnused(int N) {
  return N == MUnused27 || N == MUnused72 || N == MUnused73;
}

class LanguageFileTest : public ::testing::TestWithParam<TLanguageCase> {
protected:
  void SetUp() override {
    File = &CachedFile(GetParam().FileName);
    ASSERT_TRUE(File->Readable) << "cannot read " << PluginFolder() << GetParam().FileName;
    ASSERT_EQ(File->Host.Messages().size(), size_t(MMessageCount))
        << File->FileName << ": FAR reads " << File->Host.Messages().size()
        << " messages, the plug-in expects " << MMessageCount;
  }
  const TLanguageFile *File = nullptr;
};

} // namespace

TEST_P(LanguageFileTest, IsUtf8WithByteOrderMarkAndStartsWithItsLanguageLine) {
  ASSERT_GE(File->Bytes.size(), 3u);
  EXPECT_EQ(File->Bytes.substr(0, 3), "\xEF\xBB\xBF") << File->FileName << " has no UTF-8 byte-order mark";
  // FAR falls back to the OEM code page at the first invalid sequence: that would garble the texts.
  const std::string Body = File->Bytes.substr(3);
  EXPECT_GT(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, Body.data(), int(Body.size()), nullptr, 0), 0)
      << File->FileName << " is not valid UTF-8";
  ASSERT_FALSE(File->Lines.empty());
  EXPECT_EQ(Narrow(File->Lines[0]), Narrow(GetParam().Header)) << File->FileName << " line 1";
  EXPECT_EQ(Narrow(File->Host.LanguageName()), Narrow(GetParam().Name));
}

TEST_P(LanguageFileTest, HoldsOneNumberedMessageLinePerMessageAndNothingElse) {
  for (const std::string &Problem : File->Problems)
    ADD_FAILURE() << File->FileName << ": " << Problem;
  ASSERT_EQ(File->MessageLine.size(), size_t(MMessageCount));
  // The comment above each message names its number: a line inserted or lost shows up right where
  // it happened instead of as a wrong text somewhere later.
  for (int N = 0; N < MMessageCount; ++N) {
    const std::wstring Expected = L"// " + std::to_wstring(N) + L" ";
    EXPECT_EQ(File->Comment[N].rfind(Expected, 0), 0u)
        << File->Where(N) << " is not preceded by a comment starting \"" << Narrow(Expected)
        << "\"; the comment above it is \"" << Narrow(File->Comment[N]) << "\"";
  }
}

TEST_P(LanguageFileTest, EveryUsedMessageHasTextWithoutControlCharacters) {
  EXPECT_EQ(Narrow(File->Text(MTitle)), "Velmora3");
  for (int N = 0; N < MMessageCount; ++N) {
    const std::wstring &Text = File->Text(N);
    if (!IsUnused(N)) {
      EXPECT_FALSE(Trim(Text).empty()) << File->Where(N) << " is empty";
    }
    // No place shows a tab or a line break: in the differences document it would even start a
    // new line that the synchronisation reads.
    EXPECT_TRUE(std::none_of(Text.begin(), Text.end(), [](wchar_t C) { return C < L' '; }))
        << File->Where(N) << " holds a control character (an escape such as \\t or \\n)";
  }
}

TEST_P(LanguageFileTest, FormatsTakeExactlyTheirArgumentsAndNoOtherTextHasAConversion) {
  for (int N = 0; N < MMessageCount; ++N) {
    bool HasPercentSign = false;
    const std::wstring Found = Conversions(File->Text(N), HasPercentSign);
    const std::wstring Expected = ExpectedConversions(N);
    if (Expected.empty()) {
      EXPECT_FALSE(HasPercentSign) << File->Where(N) << " is not a format but contains '%': \""
                                   << Narrow(File->Text(N)) << "\"";
    } else {
      EXPECT_EQ(Narrow(Found), Narrow(Expected)) << File->Where(N) << ": \"" << Narrow(File->Text(N)) << "\"";
    }
  }
}

TEST_P(LanguageFileTest, FormatsWorkWithTheArgumentsTheCodePasses) {
  // Through the plug-in's own formatter, the way the texts are used.
  const std::wstring Error = Format(File->Text(MExceptionInFunction), {L"OpenW"});
  EXPECT_NE(Error.find(L"OpenW"), std::wstring::npos) << File->Where(MExceptionInFunction);
  EXPECT_THROW(Format(File->Text(MExceptionInFunction), {}), EFormatError)
      << File->Where(MExceptionInFunction);

  const std::wstring Title = Format(File->Text(MDocumentTitle), {L"C:\\Left\\", L"\\\\server\\Right\\"});
  const size_t Left = Title.find(L"C:\\Left\\"), Right = Title.find(L"\\\\server\\Right\\");
  EXPECT_NE(Left, std::wstring::npos) << File->Where(MDocumentTitle);
  EXPECT_NE(Right, std::wstring::npos) << File->Where(MDocumentTitle);
  EXPECT_LT(Left, Right) << File->Where(MDocumentTitle) << " must name the left directory first";
  EXPECT_THROW(Format(File->Text(MDocumentTitle), {L"C:\\Left\\"}), EFormatError)
      << File->Where(MDocumentTitle);

  EXPECT_NE(Format(File->Text(MMacroMissingArgument), {2}).find(L"2"), std::wstring::npos)
      << File->Where(MMacroMissingArgument);
  // An integer conversion: a string argument does not fit it.
  EXPECT_THROW(Format(File->Text(MMacroMissingArgument), {L"2"}), EFormatError)
      << File->Where(MMacroMissingArgument);

  EXPECT_NE(Format(File->Text(MMacroInvalidSide), {L"Left"}).find(L"Left"), std::wstring::npos)
      << File->Where(MMacroInvalidSide);
  EXPECT_THROW(Format(File->Text(MMacroInvalidSide), {}), EFormatError) << File->Where(MMacroInvalidSide);
}

TEST_P(LanguageFileTest, EveryControlHasOneHotkeyUniqueInItsDialogOrMenu) {
  for (const THotkeyGroup &Group : HotkeyGroups) {
    std::map<wchar_t, int> Taken;
    for (int N : Group.Messages) {
      const std::wstring Marks = HotkeyMarks(File->Text(N));
      if (Marks.size() != 1) {
        ADD_FAILURE() << File->Where(N) << " in the " << Group.Name << " needs exactly one hotkey, has "
                      << Marks.size() << ": \"" << Narrow(File->Text(N)) << "\"";
        continue;
      }
      if (!iswalnum(Marks[0]) && !(Marks[0] >= L'\x0400' && Marks[0] <= L'\x04FF')) {
        ADD_FAILURE() << File->Where(N) << " in the " << Group.Name
                      << ": the hotkey is not a letter or digit";
        continue;
      }
      auto [Other, Inserted] = Taken.emplace(HotkeyKey(Marks[0]), N);
      if (!Inserted && Other->second != N)
        ADD_FAILURE() << File->Where(N) << " and message " << Other->second << " share the hotkey '"
                      << Narrow(std::wstring(1, Marks[0])) << "' in the " << Group.Name;
    }
  }
}

TEST_P(LanguageFileTest, TextsWithoutHotkeysHaveNoAmpersand) {
  // Labels, questions and message lines are shown without DIF_SHOWAMPERSAND: an '&' there
  // would vanish and underline the next letter.
  const std::set<int> WithHotkeys = HotkeyMessages();
  for (int N = 0; N < MMessageCount; ++N) {
    if (!WithHotkeys.count(N)) {
      EXPECT_EQ(File->Text(N).find(L'&'), std::wstring::npos)
          << File->Where(N) << ": \"" << Narrow(File->Text(N)) << "\"";
    }
  }
}

TEST_P(LanguageFileTest, TextsFitTheirPlacesInAnEightyColumnWindow) {
  for (const TWidthRule &Rule : WidthRules)
    for (int N : Rule.Messages)
      EXPECT_LE(VisibleWidth(File->Text(N)), Rule.MaxColumns)
          << File->Where(N) << " (" << Rule.Place << "): \"" << Narrow(File->Text(N)) << "\"";

  for (const TButtonRow &Row : ButtonRows) {
    int Columns = -1;
    for (int N : Row.Buttons)
      Columns += VisibleWidth(File->Text(N)) + 4 + 1;
    EXPECT_LE(Columns, Row.MaxColumns)
        << File->FileName << ": the buttons of the " << Row.Place << " take " << Columns << " columns";
  }

  // The depth check box has the 6-column depth field 2 columns to its right, all indented by 4.
  EXPECT_LE(4 + DisplayWidth(File->Text(MDiscoverUseMaxScanDepth)) + 2 + 6, 56)
      << File->Where(MDiscoverUseMaxScanDepth);

  // The four radio buttons of the synchronise dialog share one row, indented by 2, one column
  // apart; each is placed by the display width of the one before it.
  int Left = 2;
  const int Radios[] = {MSyncDifferentAsk, MSyncDifferentSkip, MSyncDifferentCopyToLeft,
                        MSyncDifferentCopyToRight};
  for (int I = 0; I < 3; ++I)
    Left += DisplayWidth(File->Text(Radios[I])) + 1;
  EXPECT_LE(Left + VisibleWidth(File->Text(MSyncDifferentCopyToRight)) + 4, 66)
      << File->FileName << ": the radio buttons of the synchronise dialog do not fit on their row";
}

TEST_P(LanguageFileTest, DocumentHeaderLinesAreNeverReadAsDifferences) {
  // The title and description lines are read back with the difference lines; a line starting
  // with a marker would be synchronised as a path.
  const std::wstring Title = Format(File->Text(MDocumentTitle), {L"C:\\Left\\", L"D:\\Right\\"});
  EXPECT_FALSE(StartsWithMarker(Title)) << File->Where(MDocumentTitle);
  std::vector<TVelmoraMessage> Header(std::begin(VelmoraDocumentDescription),
                                      std::end(VelmoraDocumentDescription));
  // A remembered pair's document says more.
  Header.insert(Header.end(), {MDocumentMemoryLast, MDocumentMemoryFirst, MDocumentMemoryDamaged,
                               MDocumentMemoryLegend1, MDocumentMemoryLegend2});
  for (TVelmoraMessage N : Header)
    EXPECT_FALSE(StartsWithMarker(File->Text(N))) << File->Where(N) << " starts with a difference marker";

  // The description explains every marker the document can hold.
  for (const wchar_t *Marker : DifferenceMarkers) {
    bool Explained = false;
    for (TVelmoraMessage N : Header)
      Explained = Explained || File->Text(N).find(Marker) != std::wstring::npos;
    EXPECT_TRUE(Explained) << File->FileName << ": no description line explains " << Narrow(Marker);
  }
}

INSTANTIATE_TEST_SUITE_P(Files, LanguageFileTest, ::testing::ValuesIn(LanguageCases),
                         [](const ::testing::TestParamInfo<TLanguageCase> &Info) {
                           return Narrow(Info.param.Name);
                         });

TEST(LanguageFiles, EveryLanguageFileOfThePluginIsChecked) {
  std::set<std::string> Found, Checked;
  WIN32_FIND_DATAA Data;
  HANDLE Find = FindFirstFileA((PluginFolder() + "*.lng").c_str(), &Data);
  ASSERT_NE(Find, INVALID_HANDLE_VALUE) << "no language file in " << PluginFolder();
  do
    Found.insert(Data.cFileName);
  while (FindNextFileA(Find, &Data));
  FindClose(Find);
  for (const TLanguageCase &Case : LanguageCases)
    Checked.insert(Case.FileName);
  EXPECT_EQ(Found, Checked);
}

TEST(LanguageFiles, AllFilesAgreeWhichMessagesAreFormatsAndWhichHaveHotkeys) {
  const TLanguageFile &Reference = CachedFile(LanguageCases[0].FileName);
  ASSERT_EQ(Reference.Host.Messages().size(), size_t(MMessageCount));
  for (const TLanguageCase &Case : LanguageCases) {
    const TLanguageFile &File = CachedFile(Case.FileName);
    ASSERT_EQ(File.Host.Messages().size(), size_t(MMessageCount)) << File.FileName;
    for (int N = 0; N < MMessageCount; ++N) {
      bool ReferencePercent = false, FilePercent = false;
      EXPECT_EQ(Narrow(Conversions(File.Text(N), FilePercent)),
                Narrow(Conversions(Reference.Text(N), ReferencePercent)))
          << File.Where(N) << " and " << Reference.Where(N) << " differ in their conversions";
      EXPECT_EQ(FilePercent, ReferencePercent) << File.Where(N) << " and " << Reference.Where(N);
      EXPECT_EQ(HotkeyMarks(File.Text(N)).size(), HotkeyMarks(Reference.Text(N)).size())
          << File.Where(N) << " and " << Reference.Where(N) << " differ in their hotkeys";
    }
  }
}
