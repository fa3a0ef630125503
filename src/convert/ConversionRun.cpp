#include "convert/ConversionRun.h"

namespace velmora {

void ConversionRun::recordConverted(const FileId &id, const FileStamp &stamp, const QString &folder,
                                    const QByteArray &encodedFolder, std::string_view name)
{
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
