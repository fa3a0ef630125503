#include "ui/DriveListBox.h"

#include <QDir>
#include <QSignalBlocker>
#include <QStorageInfo>

namespace velmora {

namespace {

// Kernel and runtime mounts nobody keeps sprite files on.
bool isSystemMount(const QString &root)
{
    // Removable volumes are mounted below /run/media on many systems.
    if (root.startsWith(QLatin1String("/run/media/"))) {
        return false;
    }
    static const QStringList systemRoots = {QStringLiteral("/proc"), QStringLiteral("/sys"),
                                            QStringLiteral("/dev"),  QStringLiteral("/run"),
                                            QStringLiteral("/snap"), QStringLiteral("/boot")};
    for (const QString &system : systemRoots) {
        if (root == system || root.startsWith(system + u'/')) {
            return true;
        }
    }
    return false;
}

bool contains(const QString &root, const QString &folder)
{
    return root == QLatin1String("/") || folder == root || folder.startsWith(root + u'/');
}

} // namespace

DriveListBox::DriveListBox(QWidget *parent) : QComboBox(parent)
{
    for (const QString &root : availableDrives()) {
        addItem(QDir::toNativeSeparators(root), root);
    }
}

QStringList DriveListBox::availableDrives()
{
    QStringList roots = {QDir::rootPath(), QDir::homePath()};
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (volume.isValid() && volume.isReady() && !isSystemMount(root) && !roots.contains(root)) {
            roots.append(root);
        }
    }
    return roots;
}

QString DriveListBox::drive() const
{
    return currentData().toString();
}

void DriveListBox::selectDriveOf(const QString &folder)
{
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < count(); ++i) {
        const QString root = itemData(i).toString();
        if (contains(root, folder) && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    const QSignalBlocker quiet(this);
    setCurrentIndex(best);
}

} // namespace velmora
