#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace velmora {

class DirListBox;
class DriveListBox;
class Form1;

// The folder-scan dialog: a drive and a folder to convert every CL2 file
// below. Hidden, not destroyed, between uses, so it keeps its choice.
class Form2 : public QDialog
{
    Q_OBJECT

public:
    explicit Form2(Form1 *owner);

    DriveListBox *Drive1;
    DirListBox *Dir1;
    QPushButton *Command1;
    QPushButton *Command2;
    // The folder Proceed converts (the opened one), and how far a batch is.
    QLabel *m_folder;
    QLabel *m_progress;

public slots:
    void Drive1_Change();
    void Command1_Click();
    void Command2_Click();

    // Escape and the close box do what Cancel does: while a batch runs, they
    // stop it between two files.
    void reject() override;

    // While a batch runs, Proceed and the folder choice take no input.
    void setRunning(bool running);

private:
    void batchFinished();
    void showFolder(const QString &path);
    void showSearching(qsizetype folders, qsizetype files);
    void showConverting(qsizetype done, qsizetype total);

    Form1 *m_main;
    bool m_started = false;
};

} // namespace velmora
