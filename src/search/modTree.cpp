#include "search/modTree.h"

#include "platform/FileNames.h"
#include "platform/VbStrings.h"
#include "text/modStringFunctions.h"

#include <QFile>

#include <type_traits>

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

qsizetype ScanDirectory(qsizetype index, const MaskSet &masks, QStringList &PendingDirs,
                        FoundFileList &FoundFiles, DirectoryListing &listing)
{
    if (index >= PendingDirs.size()) {
        return PendingDirs.size();
    }
    if (index < 0) {
        index = 0;
    }
    // A copy: appending to PendingDirs below may move its entries.
    const QString dir = PendingDirs.at(index);
    if (dir.isEmpty()) {
        return index + 1;
    }
    QByteArray encoded = QFile::encodeName(dir);
    if (listing.list(encoded) != DirectoryListing::Outcome::Listed) {
        return index + 1;
    }
    const bool hasSeparator = dir.endsWith(u'/');
    const QString folder = hasSeparator ? dir : dir + u'/';
    if (!hasSeparator) {
        encoded.append('/');
    }
    FoundFiles.enterFolder(folder, encoded);
    for (std::size_t i = 0; i < listing.count(); ++i) {
        const std::string_view name = listing.name(i);
        if (listing.isDirectory(i)) {
            PendingDirs.append(joinName(folder, name));
            continue;
        }
        if (!listing.isRegularFile(i)) {
            continue;
        }
        const bool passes = isAscii(name) ? MatchMasksAscii(name, masks)
                                          : MatchMasks(QFile::decodeName(name.data()), masks);
        if (passes) {
            FoundFiles.append(name, listing.id(i));
        }
    }
    return index + 1;
}

FoundFileList FindFileList(const QString &startFolder, const QString &maskList, QString *maskError)
{
    MaskSet masks;
    QString error;
    const bool masksOk = PrepareMasks(maskList, masks, &error);
    if (maskError) {
        *maskError = error;
    }
    FoundFileList FoundFiles;
    if (!masksOk) {
        return FoundFiles;
    }
    QStringList PendingDirs{startFolder};
    DirectoryListing listing;
    // PendingDirs grows while this runs, so every folder found is listed in turn.
    // A folder's path is let go once it is listed: on a large tree that leaves
    // more room for the found paths.
    qsizetype next = 0;
    while (next < PendingDirs.size()) {
        const qsizetype listed = next;
        next = ScanDirectory(listed, masks, PendingDirs, FoundFiles, listing);
        PendingDirs[listed] = QString();
    }
    return FoundFiles;
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
