#pragma once

#include <QComboBox>

namespace velmora {

// The places a folder search can start from, as a drop-down list: the file
// system root, the home folder and every mounted volume that is ready.
class DriveListBox : public QComboBox
{
    Q_OBJECT

public:
    explicit DriveListBox(QWidget *parent = nullptr);

    // The chosen drive's root folder.
    QString drive() const;
    // Chooses the drive that holds folder (the deepest root that contains it),
    // without announcing a change.
    void selectDriveOf(const QString &folder);

    // The roots offered, in list order.
    static QStringList availableDrives();
};

} // namespace velmora
