#include "ui/Form2.h"

#include "ui/DialogWindow.h"
#include "ui/DirListBox.h"
#include "ui/DriveListBox.h"
#include "ui/Form1.h"
#include "ui/Twips.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

namespace velmora {

Form2::Form2(Form1 *owner) : QDialog(owner), m_main(owner)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Scan Folder Conversion..."));
    setFont(formFont());
    makeFixedDialog(this, twips(5070, 3195));

    Drive1 = new DriveListBox(this);
    Drive1->setObjectName(QStringLiteral("Drive1"));
    Drive1->setGeometry(twips(120, 240, 1575, 315));

    Dir1 = new DirListBox(this);
    Dir1->setObjectName(QStringLiteral("Dir1"));
    Dir1->setGeometry(twips(1920, 240, 3015, 1890));

    Command1 = new QPushButton(QStringLiteral("&Proceed"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(600, 2640, 1455, 495));
    Command1->setAutoDefault(false);

    Command2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(twips(3360, 2640, 1455, 495));
    Command2->setAutoDefault(false);

    // Between the folder list and the buttons: which folder Proceed converts,
    // and while it does, how far it has got.
    m_folder = new QLabel(this);
    m_folder->setObjectName(QStringLiteral("folderShown"));
    m_folder->setGeometry(twips(120, 2175, 4815, 210));
    m_progress = new QLabel(this);
    m_progress->setObjectName(QStringLiteral("progress"));
    m_progress->setGeometry(twips(120, 2400, 4815, 210));

    setTabOrder(Drive1, Dir1);
    setTabOrder(Dir1, Command1);
    setTabOrder(Command1, Command2);

    // Start where the program was started, as the classic lists do.
    if (!Dir1->setPath(QDir::currentPath())) {
        Dir1->setPath(QDir::homePath());
    }
    Drive1->selectDriveOf(Dir1->path());

    connect(Drive1, &QComboBox::currentIndexChanged, this, &Form2::Drive1_Change);
    // Climbing out of a drive in the list shows the drive it has reached.
    connect(Dir1, &DirListBox::pathChanged, Drive1, &DriveListBox::selectDriveOf);
    connect(Dir1, &DirListBox::pathChanged, this, &Form2::showFolder);
    showFolder(Dir1->path());
    connect(Command1, &QPushButton::clicked, this, &Form2::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form2::Command2_Click);
    connect(owner, &Form1::runFinished, this, &Form2::batchFinished);
    connect(owner, &Form1::searchProgress, this, &Form2::showSearching);
    connect(owner, &Form1::batchProgress, this, &Form2::showConverting);
}

void Form2::showFolder(const QString &path)
{
    // A deep path keeps its start and its end, the folder's own name.
    const QString text = QStringLiteral("Proceed converts: ") + QDir::toNativeSeparators(path);
    m_folder->setText(m_folder->fontMetrics().elidedText(text, Qt::ElideMiddle, m_folder->width()));
    m_folder->setToolTip(QDir::toNativeSeparators(path));
}

void Form2::showSearching(qsizetype folders, qsizetype files)
{
    if (m_started) {
        m_progress->setText(
            QStringLiteral("Searching: %L1 %2 listed, %L3 %4 found")
                .arg(folders)
                .arg(folders == 1 ? QStringLiteral("folder") : QStringLiteral("folders"))
                .arg(files)
                .arg(files == 1 ? QStringLiteral("file") : QStringLiteral("files")));
    }
}

void Form2::showConverting(qsizetype done, qsizetype total)
{
    if (m_started) {
        m_progress->setText(
            QStringLiteral("Converting: %L1 of %L2 files done").arg(done).arg(total));
    }
}

void Form2::Drive1_Change()
{
    // A drive that cannot be opened leaves the list where it was.
    if (!Dir1->setPath(Drive1->drive())) {
        Drive1->selectDriveOf(Dir1->path());
    }
}

void Form2::Command1_Click()
{
    if (m_main->isBusy()) {
        return;
    }
    // The dialog stays up while the batch runs, and hides once it is over.
    m_started = true;
    m_progress->setText(QStringLiteral("Searching..."));
    m_main->convertFolder(Dir1->path());
}

void Form2::batchFinished()
{
    if (m_started) {
        m_started = false;
        m_progress->clear();
        hide();
    }
}

void Form2::Command2_Click()
{
    if (m_started) {
        m_main->stopRun();
        return;
    }
    hide();
}

void Form2::reject()
{
    Command2_Click();
}

void Form2::setRunning(bool running)
{
    Drive1->setEnabled(!running);
    Dir1->setEnabled(!running);
    Command1->setEnabled(!running);
}

} // namespace velmora
