#pragma once

#include "convert/Module1.h"
#include "ui/LogBox.h"
#include "ui/RunController.h"
#include "ui/UndoHistory.h"

#include <QMainWindow>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QPushButton;

namespace velmora {

class Form2;
class Form3;
class Journal;
class LogView;
class LogWindow;

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
    // Asks the user where to save the log; "" when cancelled. Replaceable
    // like the file chooser.
    void setSaveChooser(FileChooser chooser);

    LogBox &log() { return m_log; }
    // The log as the user sees it once pending lines are shown: every line
    // ends in CR LF.
    QString logText() const { return m_log.text(); }

    // The journal conversions are recorded in, or, when there is none, why:
    // each run then starts with an ERROR line saying so. Neither set (as in
    // tests), conversions go unrecorded without a word.
    void setJournal(Journal *journal, const QString &whyNone = {});

    // Records every run in the history of runs, and takes the last recorded
    // run as the one Undo Last Conversion puts back (so it outlives a
    // restart). Without it (as in tests), runs go unrecorded.
    void keepHistory();

    // The dialogs and the log window, or null before their first use.
    Form2 *form2() const { return m_form2; }
    Form3 *form3() const { return m_form3; }
    LogWindow *logWindow() const { return m_logWindow; }

    // Asks where, then writes the lines view shows there; says so when it
    // could not.
    void saveLog(const LogView &view);

    // Every conversion is a run on a thread of its own, so the windows stay
    // responsive; while it runs, nothing else can start one. Each starts with
    // a cleared log and shows its progress in the caption.

    // The folder road: every CL2 file below folder.
    void convertFolder(const QString &folder);
    // The road for dropped files and folders: one run, one log for all of them.
    void convertDropped(const QStringList &paths);
    bool isBusy() const { return m_busy; }
    // Asks the run to stop between two files; its log then says how far it got.
    void stopRun();

    // Test seam: called with each new run before it starts.
    void setRunObserver(std::function<void(ConversionRun &)> observer)
    {
        m_runs.setRunObserver(std::move(observer));
    }

    QPushButton *Command1;
    QPushButton *Command3;
    LogView *Text2;
    QLabel *Label2;
    QMenu *mnufile;
    QAction *mnuundo;
    QAction *mnulog;
    QAction *mnusave;
    QAction *mnuexit;
    QAction *mnuabout;

signals:
    // A run is over and its last lines are in the log.
    void runFinished();
    // How far a run is, a few times a second while it goes on: the folders
    // its search has listed and the files found, then the files done.
    void searchProgress(qsizetype folders, qsizetype files);
    void batchProgress(qsizetype done, qsizetype total);

public slots:
    void Form_Load();
    void Command1_Click();
    void Command3_Click();
    void mnuabout_Click();
    void mnuundo_Click();
    void mnulog_Click();
    void mnusave_Click();
    void mnuexit_Click();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    QString chooseFileInDialog();
    QString chooseSaveFileInDialog();
    template <typename Dialog> void showModal(Dialog *&dialog);
    using RunWork = RunController::Work;
    void startRun(ConversionOptions options, const QList<QByteArray> &paths, RunWork work);
    void startRun(ConversionOptions options, const QStringList &paths, RunWork work);
    void showUndoable();
    void showBatchProgress(qsizetype done, qsizetype total);
    void finishRun(const FinishedRun &run);
    void setCommandsEnabled(bool enabled);

    LogBox m_log;
    FileChooser m_chooseFile;
    FileChooser m_chooseSaveFile;
    QString m_lastSaveFolder;
    QString m_fileFilter;
    QString m_lastFolder;
    Form2 *m_form2 = nullptr;
    Form3 *m_form3 = nullptr;
    LogWindow *m_logWindow = nullptr;
    bool m_busy = false;
    bool m_exitAfterRun = false;
    // The run under way's record, and the last run, for an undo.
    UndoHistory m_history;
    Journal *m_journal = nullptr;
    QString m_whyNoJournal;
    bool m_placed = false;
    // Last: a run still going when the window goes is stopped and waited
    // for before anything else of the window is taken apart.
    RunController m_runs;
};

} // namespace velmora
