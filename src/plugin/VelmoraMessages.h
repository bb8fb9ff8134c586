#pragma once

// The numbers of the plug-in's texts in its language files (Velmora3Eng.lng, Velmora3Rus.lng).
// FAR numbers the messages of a language file by position, so a value here, the position of its
// line in every language file and the numbered comment above that line must change together; the
// language file test checks the count and the numbering. The names say where a text appears; a text shared by
// two places has one name per place, both with the same value.
//
// Formats: MExceptionInFunction takes one string (the entry point's name), MDocumentTitle two
// strings (the left and the right directory), MMacroMissingArgument one integer (the argument's
// position counted from 1) and MMacroInvalidSide one string (the text given). No other text may be
// used as a format.
enum TVelmoraMessage : int {
  // Shared texts and standard buttons.
  MTitle = 0,
  MOk = 1,
  MCancel = 2,
  MYes = 3,
  MNo = 4,
  MSyncBackToDocument = 5,
  MSkip = 6,
  MDelete = 7,
  MRetry = 8,
  MExceptionInFunction = 9,

  // The discover-differences dialog.
  MDiscoverScanGroup = 10,
  MDiscoverProcessSubfolders = 11,
  MDiscoverUseMaxScanDepth = 12,
  MDiscoverProcessSelected = 13,
  MDiscoverCompareGroup = 14,
  MDiscoverCompareTime = 15,
  MDiscoverLowPrecisionTime = 16,
  MDiscoverIgnoreTimeZone = 17,
  MDiscoverCompareSize = 18,
  MDiscoverCompareFileNameCase = 19,
  MDiscoverCompareContents = 20,
  MDiscoverCompareContentsIgnore = 21,
  MDiscoverIgnoreNewLines = 22,
  MDiscoverIgnoreWhitespace = 23,

  // The comparison run.
  MNotFilePanels = 24,
  MCompareProgressLeft = 25,
  MCompareProgressRight = 26,
  MUnused27 = 27,
  MNoDifferencesTitle = 28,
  MNoDifferencesText = 29,
  MAbortTitle = 30,
  MAbortText = 31,
  MCopyProgressSource = 32,
  MCopyProgressTarget = 33,
  MNoCompareCommandTitle = 34,

  // Questions of the confirmation dialogs.
  MOverwriteLeft = 35,
  MOverwriteRight = 36,
  MReadOnlyFileLeft = 37,
  MReadOnlyFileRight = 38,
  MDeleteReadOnlyDirectoryLeft = 39,
  MDeleteReadOnlyDirectoryRight = 40,
  MDeleteFileLeft = 41,
  MDeleteFileRight = 42,
  MDeleteDirectoryLeft = 43,
  MDeleteDirectoryRight = 44,
  MFailureMakeDirectory = 45,
  MOverwriteSourceRow = 46,
  MOverwriteTargetRow = 47,
  MDeleteFileRow = 48,
  MDeleteDirectoryRow = 49,
  MDirectorySize = 50,
  MOverwrite = 51,

  // Failures of the synchronisation (the question of the retry dialogs).
  MFailureCopy = 52,
  MFailureOpenSource = 53,
  MFailureOpenTarget = 54,
  MFailureTargetMissing = 55,
  MFailureDeleteFile = 56,
  MFailureRemoveDirectory = 57,
  MFailureCopyTarget = 58,

  // The synchronise dialog.
  MSyncCopyToLeft = 59,
  MSyncConfirmOverwriteLeft = 60,
  MSyncCopyToRight = 61,
  MSyncConfirmOverwriteRight = 62,
  MSyncDeleteGroup = 63,
  MSyncDeleteOnLeft = 64,
  MSyncDeleteOnRight = 65,

  // The differences document: its title line and the first and last of its description lines.
  MDocumentTitle = 66,
  MDocumentDescription1 = 67,
  MDocumentDescription13 = 68,

  MDeleteFileProgress = 69,
  MDeleteDirectoryProgress = 70,
  MDifferentFilesQuestion = 71,
  MUnused72 = 72,
  MUnused73 = 73,

  // The what-to-do question's action buttons double as the first three command menu items.
  MCopyToLeftAction = 74,
  MCopyToRightAction = 75,
  MCompare = 76,
  MMenuChangeToLeft = 74,
  MMenuChangeToRight = 75,
  MMenuCompare = 76,

  MSyncCopyGroup = 77,
  MSyncDifferentGroup = 78,
  MSyncDifferentCopyToLeft = 79,
  MSyncDifferentCopyToRight = 80,
  MSyncDifferentAsk = 81,
  MSyncDifferentSkip = 6,
  MMenuEditLeft = 82,
  MMenuEditRight = 83,

  // The options dialog.
  MOptionsCompareCommand = 84,
  MOptionsCompareArguments = 85,
  MOptionsAcceptsNTFileNames = 86,
  MNoCompareCommandText = 87,

  // Key bar of the differences document: each key has a label and a long label.
  MKeyBarChangeToLeft = 88,
  MKeyBarChangeToLeftLong = 89,
  MKeyBarChangeToRight = 90,
  MKeyBarChangeToRightLong = 91,
  MKeyBarCompare = 92,
  MKeyBarCompareLong = 93,
  MKeyBarEditLeft = 94,
  MKeyBarEditLeftLong = 95,
  MKeyBarEditRight = 96,
  MKeyBarEditRightLong = 97,
  MMenuFileInfo = 98,
  MKeyBarFileInfo = 99,
  MKeyBarFileInfoLong = 100,

  // The file information box.
  MFileInfoHeading = 101,
  MFileInfoSize = 102,
  MFileInfoCreationTime = 103,
  MFileInfoLastWriteTime = 104,
  MFileInfoLastAccessTime = 105,
  MFileInfoLeft = 106,
  MFileInfoRight = 107,
  MFileInfoNotAvailable = 108,
  // 106 and 107 also caption the two path rows of the what-to-do question.
  MDifferentFilesLeftRow = 106,
  MDifferentFilesRightRow = 107,

  MOptionsSilentModeByDefault = 109,
  MSyncSilentMode = 110,
  MOptionsShowDescription = 111,
  MRememberForDirectory = 112,
  MRememberGlobal = 113,
  // Shown in both the options dialog and the synchronise dialog.
  MGlobalRemember = 114,
  MDiscoverSelectOnBothPanels = 115,

  MMenuNextDifferenceLeft = 116,
  MKeyBarNextDifferenceLeft = 117,
  MKeyBarNextDifferenceLeftLong = 118,
  MMenuNextDifferenceRight = 119,
  MKeyBarNextDifferenceRight = 120,
  MKeyBarNextDifferenceRightLong = 121,
  MMenuGotoLeft = 122,
  MKeyBarGotoLeft = 123,
  MKeyBarGotoLeftLong = 124,
  MMenuGotoRight = 125,
  MKeyBarGotoRight = 126,
  MKeyBarGotoRightLong = 127,

  // Description lines 2 to 12 of the differences document (1 is 67, 13 is 68).
  MDocumentDescription2 = 128,
  MDocumentDescription3 = 129,
  MDocumentDescription4 = 130,
  MDocumentDescription5 = 131,
  MDocumentDescription6 = 132,
  MDocumentDescription7 = 133,
  MDocumentDescription8 = 134,
  MDocumentDescription9 = 135,
  MDocumentDescription10 = 136,
  MDocumentDescription11 = 137,
  MDocumentDescription12 = 138,

  MFailureSourceNotFound = 139,
  MFailureSourceNotDirectory = 140,
  MFailureTargetNotDirectory = 141,
  MDirectoryLoopBefore = 142,
  MDirectoryLoopAfter = 143,

  // Errors of the macro commands.
  MMacroMissingArgument = 144,
  MMacroInvalidSide = 145,

  // Failures of the run: a path through a link, a link that cannot go on its own, a finished copy
  // left under its temporary name.
  MFailureThroughLink = 146,
  MFailureLinkIs = 147,
  MFailureLinkNotRemovable = 148,
  MFailureCopyKeptAs = 149,

  // A comparison with a plug-in's panel: how many differences were selected, and why there is
  // no document to synchronise from.
  MSelectedDifferences = 150,
  MSynchronizeNeedsDirectories = 151,
  MSynchronizeNeedsDirectories2 = 152,

  // File masks of the comparison, the counts of the synchronise dialog, the whole run's progress,
  // the options and warnings of the safety nets.
  MDiscoverIncludeMasks = 153,
  MDiscoverExcludeMasks = 154,
  MInvalidMasks = 155,
  MDocumentIncludeMasks = 156,
  MDocumentExcludeMasks = 157,
  MSyncCountsCopyLeft = 158,
  MSyncCountsCopyRight = 159,
  MSyncCountsDelete = 160,
  MSyncCountsPartial = 161,
  MSyncCounting = 162,
  MProgressTotal = 163,
  MProgressTime = 164,
  MOptionsDeleteToRecycleBin = 165,
  MOptionsVerifyCopies = 166,
  MOptionsConfirmMassDeletion = 167,
  MOptionsCheckFreeSpace = 168,
  MDeletePermanentlyLeft = 169,
  MDeletePermanentlyRight = 170,
  MFailureVerify = 171,
  MVerifyProgress = 172,
  MGoOn = 173,
  MMassDeletionLeft = 174,
  MMassDeletionRight = 175,
  MEmptySideLeft = 176,
  MEmptySideRight = 177,
  MEmptySideDeletes = 178,
  MNoSpaceLeft = 179,
  MNoSpaceRight = 180,
  MGuardQuestion = 181,
  MDiscoverRememberPair = 182,
  MDocumentMemoryLast = 183,
  MDocumentMemoryFirst = 184,
  MDocumentMemoryDamaged = 185,
  MDocumentMemoryLegend1 = 186,
  MDocumentMemoryLegend2 = 187,
  MKeyBarDeleteLeft = 188,
  MKeyBarDeleteLeftLong = 189,
  MKeyBarDeleteRight = 190,
  MKeyBarDeleteRightLong = 191,
  MMenuDeleteLeft = 192,
  MMenuDeleteRight = 193,
  MPairStateNotSaved = 194,
  MForgetPairQuestion = 195,
  MForgetPair = 196,
  MKeepPair = 197,
  MForgetPairFailed = 198,
  MDeleteTooLongLeft = 199,
  MDeleteTooLongRight = 200,
  MKeptForMasksBefore = 201,
  MKeptForMasksAfter = 202,
  MFailureListDirectory = 203,
  MOptionsCompareWorkers = 204,
  MCompareProgressCounts = 205,
  MCountStopped = 206,
  MDeleteAtLeastLeft = 207,
  MDeleteAtLeastRight = 208,
  MNoSpaceBoth = 209,
  MSpaceAtLeastLeft = 210,
  MSpaceAtLeastRight = 211,
  MSpaceAtLeastBoth = 212,
  MOptionsColourDocument = 213,
  MOptionsShowRunSummary = 214,
  MRunSummaryDone = 215,
  MRunSummaryCopied = 216,
  MRunSummaryDeleted = 217,
  MRunSummaryFailed = 218,
  MRunSummaryLog = 219,
  MRunSummaryNoLog = 220,
  MViewLog = 221,
  MOptionsForgetPairs = 222,
  MForgetAllPairsQuestion = 223,
  MNoPairsRemembered = 224,

  // How many messages every language file holds.
  MMessageCount = 225
};

// The description lines of the differences document, in the order they are written.
inline constexpr TVelmoraMessage VelmoraDocumentDescription[13] = {
    MDocumentDescription1, MDocumentDescription2,  MDocumentDescription3,  MDocumentDescription4,
    MDocumentDescription5, MDocumentDescription6,  MDocumentDescription7,  MDocumentDescription8,
    MDocumentDescription9, MDocumentDescription10, MDocumentDescription11, MDocumentDescription12,
    MDocumentDescription13};
