#include "search/modTree.h"

#include "algorithms/VbStrings.h"
#include "platform/FileNames.h"
#include "text/modStringFunctions.h"

#include "algorithms/FileIdSet.h"
#include "algorithms/OrderedWork.h"
#include "platform/DirectoryListing.h"

#include <QFile>

#include <mutex>
#include <thread>
#include <type_traits>
#include <vector>

namespace velmora {

namespace {

bool compileAll(const QStringList &patterns, std::vector<WildcardPattern> &compiled, QString *error)
{
    compiled.clear();
    compiled.reserve(std::size_t(patterns.size()));
    for (const QString &pattern : patterns) {
        compiled.emplace_back();
        if (!compiled.back().compile(pattern, error)) {
            return false;
        }
    }
    return true;
}

template <typename Name> bool matchMasks(const Name &name, const MaskSet &masks)
{
    auto matches = [&name](const WildcardPattern &pattern) {
        if constexpr (std::is_same_v<Name, std::string_view>) {
            return pattern.matchesAscii(name);
        } else {
            return pattern.matches(name);
        }
    };
    if (masks.hasExclude) {
        for (const WildcardPattern &pattern : masks.ExcludeMasks) {
            if (matches(pattern)) {
                return false;
            }
        }
    }
    if (masks.hasInclude) {
        for (const WildcardPattern &pattern : masks.IncludeMasks) {
            if (matches(pattern)) {
                return true;
            }
        }
        return false;
    }
    return true;
}

} // namespace

QStringList ParseMaskList(const QString &maskList, bool addWildcards)
{
    const QChar nul(u'\0');
    // Comma, semicolon and space, as a TAB-delimited list, all become NUL.
    const QString separators = QStringLiteral(",\t;\t ");
    const QString merged = ReplaceAny(Trim(maskList), separators, QString(nul), CompareMode::Text,
                                      QStringLiteral("\t"));
    QStringList masks = Split(merged, nul);
    // Two separators in a row (", ") leave an empty mask, which would match
    // every name once wildcards are added; it means nothing, so it goes.
    masks.removeAll(QString());
    if (addWildcards) {
        NormalizeMasks(masks);
    }
    return masks;
}

void NormalizeMasks(QStringList &masks)
{
    QStringList normalized;
    normalized.reserve(masks.size());
    for (QString mask : std::as_const(masks)) {
        const bool excluded = mask.startsWith(u'!');
        if (excluded) {
            mask.remove(0, 1);
        }
        if (mask.isEmpty()) {
            continue;
        }
        if (StrEqual(mask, u"*.*", CompareMode::Text)) {
            mask = QStringLiteral("*");
        } else if (!mask.contains(u'?') && !mask.contains(u'*')) {
            mask = u'*' + mask + u'*';
        }
        normalized.append(excluded ? u'!' + mask : mask);
    }
    masks = std::move(normalized);
}

void SplitMasks(const QStringList &masks, QStringList &IncludeMasks, QStringList &ExcludeMasks,
                bool &hasInclude, bool &hasExclude)
{
    IncludeMasks.clear();
    ExcludeMasks.clear();
    for (const QString &mask : masks) {
        const QString trimmed = Trim(mask);
        if (trimmed.isEmpty()) {
            continue;
        }
        if (!trimmed.startsWith(u'!')) {
            IncludeMasks.append(trimmed);
        } else if (trimmed.size() >= 2) {
            ExcludeMasks.append(trimmed.mid(1));
        }
    }
    hasInclude = !IncludeMasks.isEmpty();
    hasExclude = !ExcludeMasks.isEmpty();
}

bool CompileMasks(const QStringList &IncludeMasks, const QStringList &ExcludeMasks, bool hasInclude,
                  bool hasExclude, MaskSet &masks, QString *error)
{
    masks = MaskSet{};
    MaskSet compiled;
    if ((hasInclude && !compileAll(IncludeMasks, compiled.IncludeMasks, error)) ||
        (hasExclude && !compileAll(ExcludeMasks, compiled.ExcludeMasks, error))) {
        return false;
    }
    compiled.hasInclude = hasInclude && !compiled.IncludeMasks.empty();
    compiled.hasExclude = hasExclude && !compiled.ExcludeMasks.empty();
    if (!compiled.hasInclude && !compiled.hasExclude) {
        if (error) {
            *error = QStringLiteral("it holds no mask");
        }
        return false;
    }
    masks = std::move(compiled);
    return true;
}

bool PrepareMasks(const QString &maskList, MaskSet &masks, QString *error)
{
    QStringList includeMasks;
    QStringList excludeMasks;
    bool hasInclude = false;
    bool hasExclude = false;
    SplitMasks(ParseMaskList(maskList, true), includeMasks, excludeMasks, hasInclude, hasExclude);
    return CompileMasks(includeMasks, excludeMasks, hasInclude, hasExclude, masks, error);
}

bool MatchMasks(QStringView name, const MaskSet &masks)
{
    return matchMasks(name, masks);
}

bool MatchMasksAscii(std::string_view name, const MaskSet &masks)
{
    return matchMasks(name, masks);
}

namespace {

// Takes what listing read of the folder dir: subfolders go to the end of
// PendingDirs, files whose names pass the masks to FoundFiles.
void takeListing(QByteArray dir, const DirectoryListing &listing, const MaskSet &masks,
                 QList<QByteArray> &PendingDirs, FoundFileList &FoundFiles)
{
    if (!dir.endsWith('/')) {
        dir.append('/');
    }
    FoundFiles.enterFolder(QFile::decodeName(dir), dir);
    for (std::size_t i = 0; i < listing.count(); ++i) {
        const std::string_view name = listing.name(i);
        if (listing.isDirectory(i)) {
            PendingDirs.append(dir + QByteArrayView(name.data(), qsizetype(name.size())));
            continue;
        }
        const bool passes = isAscii(name) ? MatchMasksAscii(name, masks)
                                          : MatchMasks(QFile::decodeName(name.data()), masks);
        if (passes && listing.isRegularFile(i)) {
            FoundFiles.append(name, listing.id(i));
        } else if (passes) {
            FoundFiles.appendNotRegular(name, listing.id(i), listing.otherKind(i));
        }
    }
}

std::function<void(qsizetype)> &folderTakenHook()
{
    static std::function<void(qsizetype)> hook;
    return hook;
}

// One folder of a walk between being read (on any thread) and being taken
// (in breadth-first order).
struct FolderInFlight
{
    QByteArray path;
    DirectoryListing listing;
    DirectoryListing::Outcome outcome = DirectoryListing::Outcome::Failed;
    QString error;
};

} // namespace

FoundFileList FindFileList(const QString &startFolder, const QString &maskList, QString *maskError,
                           const std::function<bool()> &stop, int jobs)
{
    return FindFileList(QFile::encodeName(startFolder), maskList, maskError, stop, jobs);
}

FoundFileList FindFileList(const QByteArray &startFolder, const QString &maskList,
                           QString *maskError, const std::function<bool()> &stop, int jobs,
                           const std::function<void(qsizetype folders, qsizetype files)> &seen)
{
    MaskSet masks;
    QString error;
    const bool masksOk = PrepareMasks(maskList, masks, &error);
    if (maskError) {
        *maskError = error;
    }
    FoundFileList FoundFiles;
    if (masksOk) {
        SearchFolder(startFolder, masks, FoundFiles, stop, jobs,
                     int(std::thread::hardware_concurrency()), {}, seen);
    }
    return FoundFiles;
}

bool SearchFolder(const QByteArray &startFolder, const MaskSet &masks, FoundFileList &FoundFiles,
                  const std::function<bool()> &stop, int jobs, int threads,
                  const std::function<void(qsizetype)> &found,
                  const std::function<void(qsizetype folders, qsizetype files)> &seen)
{
    // Folders are read a few at a time, ahead of the one being taken, and
    // taken in the order they were found, so the result is the same as one
    // folder after another. PendingDirs grows while this runs, so every folder
    // found is listed in turn; a folder's path is let go once it is taken.
    QList<QByteArray> PendingDirs{startFolder};
    std::mutex pendingMutex;
    // The buffers of listings already taken, for the next reads: as many are
    // made as folders are in flight at once, not one for each slot of a
    // window sized for every job allowed.
    std::vector<DirectoryListing> spare;
    FileIdSet listed;
    OrderedWork<FolderInFlight> walk(jobs, 1, 4);
    walk.setCoreThreads(threads);
    const auto read = [&](qsizetype index, FolderInFlight &folder) {
        {
            const std::lock_guard lock(pendingMutex);
            folder.path = PendingDirs.at(index);
            if (!spare.empty()) {
                folder.listing = std::move(spare.back());
                spare.pop_back();
            }
        }
        folder.outcome = folder.path.isEmpty() ? DirectoryListing::Outcome::AlreadyListed
                                               : folder.listing.read(folder.path, &folder.error);
    };
    const auto take = [&](qsizetype index, FolderInFlight &folder) {
        const std::lock_guard lock(pendingMutex);
        if (folder.outcome == DirectoryListing::Outcome::Failed) {
            FoundFiles.addUnlisted(folder.path, folder.error);
        } else if (folder.outcome == DirectoryListing::Outcome::Listed &&
                   // A folder reached again through a link or a mount is
                   // listed once, and a walk always ends.
                   listed.insert(folder.listing.directory())) {
            const qsizetype before = FoundFiles.size();
            takeListing(folder.path, folder.listing, masks, PendingDirs, FoundFiles);
            if (found && FoundFiles.size() > before) {
                found(FoundFiles.size());
            }
            if (folderTakenHook()) {
                folderTakenHook()(FoundFiles.size());
            }
        }
        PendingDirs[index] = QByteArray();
        spare.push_back(std::move(folder.listing));
        walk.extend(PendingDirs.size());
        if (seen) {
            seen(index + 1, FoundFiles.size());
        }
    };
    const qsizetype taken = walk.run(read, take, [&stop] { return stop && stop(); });
    return taken == PendingDirs.size();
}

void setFolderTakenForTesting(std::function<void(qsizetype)> hook)
{
    folderTakenHook() = std::move(hook);
}

QStringList FindFiles(const QString &startFolder, const QString &maskList, QString *maskError)
{
    const FoundFileList found = FindFileList(startFolder, maskList, maskError);
    if (found.isEmpty()) {
        return QStringList{QString()};
    }
    QStringList FoundFiles;
    FoundFiles.reserve(found.size());
    for (qsizetype i = 0; i < found.size(); ++i) {
        FoundFiles.append(found.path(i));
    }
    return FoundFiles;
}

} // namespace velmora
