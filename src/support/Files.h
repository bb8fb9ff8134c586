#pragma once

#include <cstdint>
#include <string>
#include <windows.h>

// Path and file helpers for the comparison and synchronisation code. None of them raises on a
// failing system call: each falls back or returns its failure value, and the caller decides
// whether to ask the user.
//
// Day counts: a double, whole days since 30 December 1899, the fraction being the time of day.

// Path expanded to a full name, relative to the current directory; Path itself when that fails.
std::wstring ExpandFileName(const std::wstring &Path);

// The long-path form: "\\?\C:\..." or "\\?\UNC\server\share\..."; paths already in the
// "\\?\" or "\\.\" namespace are returned as they are.
std::wstring LongPathName(const std::wstring &Path);

// The display form: "\\?\UNC\server\..." (any case) becomes "\\server\...", "\\?\C:\..." becomes
// "C:\...", anything else is returned as it is.
std::wstring RemoveLongPathPrefix(const std::wstring &Path);

// Path with one trailing backslash added when it has none (the empty path stays empty), and
// Path without its trailing backslashes.
std::wstring IncludeTrailingBackslash(const std::wstring &Path);
std::wstring ExcludeTrailingBackslash(const std::wstring &Path);

// The path without its last component: everything before the last backslash, where a backslash
// in the first character does not count. "C:\a\b\" gives "C:\a\b", "C:" and "\x" give "".
std::wstring ExtractParentPath(const std::wstring &Path);

// Where Path really is (volume path plus the name the file system reports for the opened
// object), which sees through junctions, links and letter case; ExpandFileName(Path) when that
// cannot be found out.
std::wstring RealPathName(const std::wstring &Path);

// Removes the link (junction, symbolic link to a directory or to a file) at Path itself, never
// what it leads to. False when it could not, also where the system opens what a link leads to
// instead of the link (as wine does with links of the Unix file system).
bool RemoveLink(const std::wstring &Path);

// Whether opening the file at Path opens one that is somewhere else: a link the system does not
// show as one (as wine does with Unix links to files), whose deletion would reach what it leads
// to. Judged against where its directory really is, so drives standing for others do not count.
bool OpensElsewhere(const std::wstring &Path);

// Deletes what File (opened with DELETE and FILE_WRITE_ATTRIBUTES access) is, clearing the
// attributes that would refuse it first. False when it could not.
bool DeleteOpenFile(HANDLE File, DWORD Attributes);

// How an item given to the Recycle Bin fared: it is in the bin; refused, because it would have
// been deleted for good (nothing was deleted); or not moved (in use, no rights).
enum TRecycleResult { rrRecycled, rrRefused, rrFailed };

// Moves a file or a whole tree into the Recycle Bin through the shell, without any dialog of the
// shell's own, and never lets the shell delete it for good: where its file operation object says
// an item would not go into the bin (a drive without one, a tree over its quota), the item is
// refused. Where the system has no such object, the shell deletes for good unasked wherever it
// cannot recycle: it may be called only where RecycleBinTakesFrom found that it keeps what it takes.
TRecycleResult RecycleWithShell(const std::wstring &Path);

// Whether the shell's Recycle Bin keeps what is deleted in Directory: an empty file made there
// for the purpose must arrive in the bin (where it stays). False when that cannot be found out.
bool RecycleBinTakesFrom(const std::wstring &Directory);

// Whether the system offers what RealPathName needs (looked up once at start-up).
bool RealPathResolutionAvailable();

// A file time as a day count, converted to local time first when ToLocal; 0 when a conversion
// fails. Keeps the part below one millisecond.
double FileTimeToDays(const FILETIME &FileTime, bool ToLocal);

// Size in bytes, from the opened file or else from a directory search; -1 when neither works.
int64_t GetFileSizeByName(const std::wstring &FileName);

// Creation, last-write and last-access times as day counts (all 0 on failure).
bool GetFileTimesByName(const std::wstring &FileName, double &Created, double &Written, double &Accessed,
                        bool ToLocal);

// Environment variables expanded; Text unchanged when the expansion fails.
std::wstring ExpandEnvironment(const std::wstring &Text);

// Starts FileName (a program or a document) through the shell with the default verb. The result
// is greater than 32 on success, else the system error code (never above 31).
int32_t ShellOpen(const std::wstring &FileName, const std::wstring &Parameters);
int32_t ShellOpenIn(const std::wstring &FileName, const std::wstring &Parameters,
                    const std::wstring &Directory);
int32_t ShellOpenShow(const std::wstring &FileName, const std::wstring &Parameters,
                      const std::wstring &Directory, int ShowCommand);
