#include "convert/ConversionRun.h"

#include "convert/EarlierConversions.h"
#include "convert/FileInFlight.h"
#include "convert/RunHistory.h"
#include "convert/RunRecord.h"

namespace velmora {

FileProblem ConversionRun::checkEarlier(FileInFlight &job) const
{
    if (!earlier || earlier->isEmpty()) {
        return {};
    }
    const QDateTime when = earlier->convertedAt(job.file.id(), job.file.stampWhenLocked());
    if (!when.isValid()) {
        return {};
    }
    if (m_options.skipConverted) {
        return {LogEntry::Status::Skipped, runTimeText(when)};
    }
    job.convertedBefore = true;
    return {};
}

void ConversionRun::recordWritten(const FileId &id, const FileStamp &stamp,
                                  const QByteArray &encodedFolder, std::string_view name)
{
    if (m_options.record && !m_options.dryRun) {
        const std::lock_guard lock(m_recordMutex);
        m_options.record->add(id, stamp, encodedFolder, name);
    }
}

void ConversionRun::recordConverted(const FileId &id, const FileStamp &stamp, const QString &folder,
                                    const QByteArray &encodedFolder, std::string_view name,
                                    bool convertedBefore)
{
    m_turnedAgain += convertedBefore ? 1 : 0;
    if (!m_keepList) {
        return;
    }
    // Files of one folder come one after another: the folder is kept once.
    if (!m_hasFolder || encodedFolder != m_lastFolder) {
        m_convertedList.files.enterFolder(folder, encodedFolder);
        m_lastFolder = encodedFolder;
        m_hasFolder = true;
    }
    m_convertedList.files.append(name, id);
    m_convertedList.stamps.push_back(stamp);
}

} // namespace velmora
