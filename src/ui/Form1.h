#pragma once

#include "convert/Module1.h"
#include "ui/FrameClock.h"
#include "ui/LogBox.h"

#include <QMainWindow>

#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPlainTextEdit;
class QPushButton;

namespace velmora {

class Form2;
class Form3;

// The main window: the two conversion commands, the message log and the menu.
// It owns the two dialogs, which it creates on first use and only hides.
class Form1 : public QMainWindow
{
    Q_OBJECT

public:
    static const QString Caption;

    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // Asks the user for one file; "" when cancelled. Replaceable so that tests
    // can answer in place of the file dialog.
    using FileChooser = std::function<QString()>;
    void setFileChooser(FileChooser chooser);
    QString fileFilter() const { return m_fileFilter; }

    LogBox &log() { return m_log; }
    // The log as the user sees it once pending lines are shown: every line
    // ends in CR LF.
    QString logText() const { return m_log.text(); }

    // The journal conversions are recorded in, or, when there is none, why:
    // each operation then starts with an ERROR line saying so. Neither set
    // (as in tests), conversions go unrecorded without a word.
    void setJournal(Journal *journal, const QString &whyNone = {});

    // The dialogs, or null before their first use.
    Form2 *form2() const { return m_form2; }
    Form3 *form3() const { return m_form3; }

    // The folder road: clears the log and converts every CL2 file below
    // folder, showing the progress in the caption while it runs.
    void convertFolder(const QString &folder);
    // The road for dropped files and folders: one cleared log for all of them.
    void convertDropped(const QStringList &paths);

    QPushButton *Command1;
    QPushButton *Command3;
    QPlainTextEdit *Text2;
    QLabel *Label2;
    QMenu *mnufile;
    QAction *mnuexit;
    QAction *mnuabout;

public slots:
    void Form_Load();
    void Command1_Click();
    void Command3_Click();
    void mnuabout_Click();
    void mnuexit_Click();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QString chooseFileInDialog();
    template <typename Dialog> void showModal(Dialog *&dialog);
    void reportProgress(qsizetype done, qsizetype total);
    // Every operation starts busy with an empty log, and ends showing the last
    // lines and the plain caption again.
    void beginOperation();
    ConversionOptions conversionOptions() const;
    ScanOptions progressOptions();
    void endOperation();

    LogBox m_log;
    Journal *m_journal = nullptr;
    QString m_whyNoJournal;
    FileChooser m_chooseFile;
    QString m_fileFilter;
    QString m_lastFolder;
    Form2 *m_form2 = nullptr;
    Form3 *m_form3 = nullptr;
    FrameClock m_progressClock;
    bool m_busy = false;
    bool m_placed = false;
};

} // namespace velmora
