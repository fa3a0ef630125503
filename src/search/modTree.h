#pragma once

#include "algorithms/WildcardPattern.h"
#include "search/FoundFileList.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <functional>
#include <string_view>
#include <vector>

namespace velmora {

// Full paths of every file below startFolder whose bare name passes maskList,
// breadth-first: the start folder's files first, then each subfolder's in the
// order the subfolders were found, level by level; each folder's entries in
// byte order of their names. With no match the list holds one empty string.
// A mask list that is malformed or holds no mask matches nothing, and the
// reason goes to maskError.
// Names that match but are not regular files (links to nothing, pipes,
// devices) are taken too: a batch counts and refuses them.
QStringList FindFiles(const QString &startFolder, const QString &maskList,
                      QString *maskError = nullptr);

// The same search, its result kept compactly with each file's identity; empty
// when nothing matched. For batches of any size. Folders that could not be
// listed are named in the result. The search ends early, between two
// folders, once stop says so. Up to `jobs` folders are read at once; the
// result is the same for any number.
FoundFileList FindFileList(const QString &startFolder, const QString &maskList,
                           QString *maskError = nullptr, const std::function<bool()> &stop = {},
                           int jobs = 1);
// The same from a folder as the system spells it. seen, when given, is told
// after each folder is taken how many folders were taken and files found.
FoundFileList
FindFileList(const QByteArray &startFolder, const QString &maskList, QString *maskError = nullptr,
             const std::function<bool()> &stop = {}, int jobs = 1,
             const std::function<void(qsizetype folders, qsizetype files)> &seen = {});

struct MaskSet;

// The search of FindFileList into a list the caller owns, with masks already
// prepared, for a batch that converts files while they are being found: each
// time files up to a new count are in the list, found(count) is called on
// this thread; seen, when given, as FindFileList's. On `threads` threads
// while no folder waits for a disk (other work may share the cores), up to
// `jobs` when they do. Returns false when stop ended the search early.
bool SearchFolder(const QByteArray &startFolder, const MaskSet &masks, FoundFileList &into,
                  const std::function<bool()> &stop, int jobs, int threads,
                  const std::function<void(qsizetype)> &found,
                  const std::function<void(qsizetype folders, qsizetype files)> &seen = {});

// Test seam: called on the searching thread each time a folder's files are
// in the list, with how many files it holds.
void setFolderTakenForTesting(std::function<void(qsizetype found)> hook);

// A mask list is wildcard masks separated by commas, semicolons or spaces
// (not TAB); a leading '!' makes a mask exclude instead of include.

// The masks of maskList, indexed from 0. Empty masks (two separators in a row)
// are dropped. With addWildcards the masks are normalised (NormalizeMasks).
QStringList ParseMaskList(const QString &maskList, bool addWildcards);

// For each mask: "*.*" becomes "*"; a mask with neither '?' nor '*' gets a '*'
// on both sides ("cl2" -> "*cl2*"); a leading '!' is kept in front. A mask that
// is empty or a lone '!' is removed, so it can never match every name.
void NormalizeMasks(QStringList &masks);

// Sorts masks into include and exclude patterns (the '!' taken off); each flag
// says whether its list holds a pattern. Masks are trimmed of spaces; empty
// ones and a lone '!' are dropped.
void SplitMasks(const QStringList &masks, QStringList &IncludeMasks, QStringList &ExcludeMasks,
                bool &hasInclude, bool &hasExclude);

// The include and exclude patterns compiled once for a whole search.
struct MaskSet
{
    std::vector<WildcardPattern> IncludeMasks;
    std::vector<WildcardPattern> ExcludeMasks;
    bool hasInclude = false;
    bool hasExclude = false;
};

// Compiles the patterns SplitMasks gave. False, with the reason in error, when
// a pattern is malformed (an unclosed '[', an empty "[]", a range such as z-a)
// or when there is no pattern at all: a mask list of nothing but separators and
// lone '!'s names no file, and taking it as "every file" would convert files
// nobody chose.
bool CompileMasks(const QStringList &IncludeMasks, const QStringList &ExcludeMasks, bool hasInclude,
                  bool hasExclude, MaskSet &masks, QString *error);

// ParseMaskList(maskList, true), SplitMasks and CompileMasks in one.
bool PrepareMasks(const QString &maskList, MaskSet &masks, QString *error);

// Whether a bare file name passes: any exclude pattern matching rejects it;
// otherwise it passes when an include pattern matches or there are none
// (only exclude patterns). Case is ignored.
bool MatchMasks(QStringView name, const MaskSet &masks);
// The same for a name of ASCII bytes only, without decoding it first.
bool MatchMasksAscii(std::string_view name, const MaskSet &masks);

} // namespace velmora
