#include "ui/Form1.h"

#include "convert/Journal.h"
#include "convert/Module1.h"
#include "ui/AppIcon.h"
#include "ui/FileFilter.h"
#include "ui/Form2.h"
#include "ui/Form3.h"
#include "ui/LogFile.h"
#include "ui/LogView.h"
#include "ui/LogWindow.h"

#include "ui/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

namespace velmora {

const QString Form1::Caption = QStringLiteral("CL2 Direction Velmora");

namespace {

QString cannotProtect()
{
    return QStringLiteral("ERROR: Files cannot be protected against interruption: ");
}

// The local paths of a drag's URLs, or nothing when any of them is remote.
QStringList localPaths(const QMimeData *data)
{
    QStringList paths;
    if (!data || !data->hasUrls()) {
        return paths;
    }
    for (const QUrl &url : data->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        paths.append(url.toLocalFile());
    }
    return paths;
}

// What a run came to, at a glance, for the caption.
QString resultText(const RunSummary &summary)
{
    QString text = QString::number(summary.converted) + QLatin1String(" converted, ") +
                   QString::number(summary.notEightDirections) +
                   QLatin1String(" not 8-direction, ") + QString::number(summary.failed) +
                   QLatin1String(" failed");
    if (summary.stopped) {
        text += QLatin1String(", stopped");
    }
    if (summary.turnedAgain > 0) {
        text += QLatin1String("; ") + QString::number(summary.turnedAgain) +
                QLatin1String(" converted a second time (Undo Last Conversion undoes the run)");
    }
    return text;
}

} // namespace

Form1::Form1(QWidget *parent) : QMainWindow(parent), Text2(new LogView), m_log(Text2), m_runs(m_log)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(Caption);
    setWindowIcon(appIcon());
    setFont(formFont());
    // A fixed single border: it can be minimised but neither resized nor
    // maximised.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setAcceptDrops(true);
    connect(&m_runs, &RunController::batchProgress, this, &Form1::showBatchProgress);
    connect(&m_runs, &RunController::searchProgress, this, &Form1::searchProgress);
    connect(&m_runs, &RunController::finished, this, &Form1::finishRun);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twips(9120, 2670));
    setCentralWidget(client);

    Command1 = new QPushButton(QStringLiteral("&Single File Conversion"), client);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twips(240, 120, 1935, 375));

    Command3 = new QPushButton(QStringLiteral("Scan &Folder Conversion"), client);
    Command3->setObjectName(QStringLiteral("Command3"));
    Command3->setGeometry(twips(6720, 120, 1935, 375));

    Text2->setParent(client);
    Text2->setObjectName(QStringLiteral("Text2"));
    Text2->setGeometry(twips(360, 600, 8535, 1845));
    Text2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Drops belong to the window, not to the read-only box.
    Text2->setAcceptDrops(false);

    Label2 = new QLabel(QStringLiteral("Message Log"), client);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(twips(3480, 120, 2055, 495));
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QFont heading = formFont(13.5);
    heading.setBold(true);
    Label2->setFont(heading);
    QPalette red = Label2->palette();
    red.setColor(QPalette::WindowText, QColor(255, 0, 0));
    Label2->setPalette(red);

    setTabOrder(Command1, Command3);
    setTabOrder(Command3, Text2);

    mnufile = menuBar()->addMenu(QStringLiteral("&File"));
    mnufile->setObjectName(QStringLiteral("mnufile"));
    mnuundo = mnufile->addAction(QStringLiteral("&Undo Last Conversion"));
    mnuundo->setObjectName(QStringLiteral("mnuundo"));
    mnuundo->setShortcut(QKeySequence::Undo);
    mnuundo->setEnabled(false);
    // The log at a size that suits a batch: a window of its own, beside this
    // one, whose size stays as it is.
    mnulog = mnufile->addAction(QStringLiteral("Show &Log Window"));
    mnulog->setObjectName(QStringLiteral("mnulog"));
    mnulog->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    mnusave = mnufile->addAction(QStringLiteral("&Save Log..."));
    mnusave->setObjectName(QStringLiteral("mnusave"));
    mnusave->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    mnuexit = mnufile->addAction(QStringLiteral("&Exit"));
    mnuexit->setObjectName(QStringLiteral("mnuexit"));
    // Spelled out: the platform's standard Quit key is empty where the
    // platform theme follows Windows' key scheme.
    mnuexit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    mnuabout = menuBar()->addAction(QStringLiteral("&About"));
    mnuabout->setObjectName(QStringLiteral("mnuabout"));

    // The client area keeps its size; the window is that plus the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_chooseFile = [this] { return chooseFileInDialog(); };
    m_chooseSaveFile = [this] { return chooseSaveFileInDialog(); };

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(mnuundo, &QAction::triggered, this, &Form1::mnuundo_Click);
    connect(mnulog, &QAction::triggered, this, &Form1::mnulog_Click);
    connect(mnusave, &QAction::triggered, this, &Form1::mnusave_Click);
    connect(mnuexit, &QAction::triggered, this, &Form1::mnuexit_Click);
    connect(mnuabout, &QAction::triggered, this, &Form1::mnuabout_Click);
}

Form1::~Form1() = default;

void Form1::setFileChooser(FileChooser chooser)
{
    m_chooseFile = std::move(chooser);
}

void Form1::setSaveChooser(FileChooser chooser)
{
    m_chooseSaveFile = std::move(chooser);
}

void Form1::setJournal(Journal *journal, const QString &whyNone)
{
    m_journal = journal;
    m_whyNoJournal = whyNone;
    if (m_journal) {
        // Called on the run's thread, in the middle of its lines.
        m_journal->setFailureHandler(
            [this](const QString &reason) { m_runs.reportFailure(cannotProtect() + reason); });
    }
}

void Form1::keepHistory()
{
    m_history.keep();
    showUndoable();
}

void Form1::showUndoable()
{
    mnuundo->setText(m_history.undoText());
    mnuundo->setEnabled(!m_busy && m_history.undoableCount() > 0);
}

void Form1::Form_Load()
{
    m_fileFilter = qtNameFilter(QStringLiteral("Diablo Graphics (*.cl2)|*.cl2"));
}

QString Form1::chooseFileInDialog()
{
    // A fresh dialog each time: a cancelled choice never comes back as the
    // previous file. Only the folder is remembered.
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), m_lastFolder, m_fileFilter);
    if (!chosen.isEmpty()) {
        m_lastFolder = QFileInfo(chosen).absolutePath();
    }
    return chosen;
}

QString Form1::chooseSaveFileInDialog()
{
    const QString folder = m_lastSaveFolder.isEmpty() ? QDir::homePath() : m_lastSaveFolder;
    const QString chosen =
        QFileDialog::getSaveFileName(QApplication::activeWindow(), QStringLiteral("Save Log"),
                                     QDir(folder).filePath(QStringLiteral("cl2velmora.log")),
                                     QStringLiteral("Log files (*.log *.txt);;All files (*)"));
    if (!chosen.isEmpty()) {
        m_lastSaveFolder = QFileInfo(chosen).absolutePath();
    }
    return chosen;
}

void Form1::saveLog(const LogView &view)
{
    // Lines that wait for the next frame are part of the log already.
    m_log.flush();
    const QString name = m_chooseSaveFile ? m_chooseSaveFile() : QString();
    if (name.isEmpty()) {
        return;
    }
    QString why;
    if (!saveShownLines(view, name, &why)) {
        QMessageBox::warning(QApplication::activeWindow(), QStringLiteral("Save Log"),
                             QStringLiteral("The log could not be saved to %1: %2")
                                 .arg(QDir::toNativeSeparators(name), why));
    }
}

void Form1::mnusave_Click()
{
    saveLog(*Text2);
}

void Form1::mnulog_Click()
{
    if (!m_logWindow) {
        m_logWindow = new LogWindow(Text2, this);
    }
    m_log.flush();
    m_logWindow->show();
    m_logWindow->raise();
    m_logWindow->activateWindow();
}

void Form1::Command1_Click()
{
    if (m_busy || !m_chooseFile) {
        return;
    }
    const QString name = m_chooseFile();
    if (name.isEmpty() || !FileExists(name) || m_busy) {
        return;
    }
    startRun({}, QStringList{name},
             [name](ConversionRun &run, MessageLog &log) { ReorderDirections(name, log, run); });
}

// Shows a dialog modally, creating it on first use; it is hidden, never
// destroyed, so it keeps its state for the next time.
template <typename Dialog> void Form1::showModal(Dialog *&dialog)
{
    if (m_busy) {
        return;
    }
    if (!dialog) {
        dialog = new Dialog(this);
    }
    dialog->exec();
}

void Form1::Command3_Click()
{
    showModal(m_form2);
}

void Form1::mnuabout_Click()
{
    showModal(m_form3);
}

void Form1::mnuundo_Click()
{
    if (m_busy || m_history.undoableCount() == 0) {
        return;
    }
    QList<QByteArray> paths;
    const std::shared_ptr<ConvertedFiles> converted = m_history.take(&paths);
    mnuundo->setEnabled(false);
    startRun(
        {.undo = true, .dryRun = false}, paths,
        [converted](ConversionRun &run, MessageLog &log) { UndoConversion(*converted, log, run); });
}

void Form1::mnuexit_Click()
{
    if (m_busy) {
        // The run stops between two files; the program ends once it has.
        m_exitAfterRun = true;
        stopRun();
        return;
    }
    // Ends the program at once: no prompt, every window gone.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        window->hide();
    }
    QCoreApplication::exit(0);
}

void Form1::convertFolder(const QString &folder)
{
    if (m_busy) {
        return;
    }
    startRun({}, QStringList{folder},
             [folder](ConversionRun &run, MessageLog &log) { ScanFolder(folder, log, run); });
}

void Form1::convertDropped(const QStringList &paths)
{
    if (m_busy) {
        return;
    }
    startRun({}, paths,
             [paths](ConversionRun &run, MessageLog &log) { ConvertPaths(paths, log, run); });
}

void Form1::stopRun()
{
    m_runs.stop();
}

void Form1::startRun(ConversionOptions options, const QStringList &paths, RunWork work)
{
    QList<QByteArray> encoded;
    for (const QString &path : paths) {
        encoded.append(QFile::encodeName(path));
    }
    startRun(options, encoded, std::move(work));
}

void Form1::startRun(ConversionOptions options, const QList<QByteArray> &paths, RunWork work)
{
    m_busy = true;
    setCommandsEnabled(false);
    setWindowTitle(Caption);
    m_log.Clear();
    if (!m_journal && !m_whyNoJournal.isEmpty()) {
        m_log.AppendFailure(cannotProtect() + m_whyNoJournal);
    }
    QString why;
    options.record = m_history.begin(paths, options, &why);
    if (!why.isEmpty()) {
        m_log.AppendFailure(QLatin1String("ERROR: No history of this run is kept: ") + why);
    }
    options.journal = m_journal;
    m_runs.start(options, m_history.isKept() && !options.undo, std::move(work));
}

void Form1::showBatchProgress(qsizetype done, qsizetype total)
{
    setWindowTitle(Caption + QLatin1String(" - ") + QString::number(done) + QLatin1String(" / ") +
                   QString::number(total));
    emit batchProgress(done, total);
}

void Form1::finishRun(const FinishedRun &run)
{
    m_history.finish(run);
    setWindowTitle(Caption + QLatin1String(" - ") + resultText(run.summary));
    m_busy = false;
    setCommandsEnabled(true);
    emit runFinished();
    if (m_exitAfterRun) {
        mnuexit_Click();
    }
}

void Form1::setCommandsEnabled(bool enabled)
{
    // While a run goes on, input for another is dropped, never kept for later.
    Command1->setEnabled(enabled);
    Command3->setEnabled(enabled);
    mnuabout->setEnabled(enabled);
    showUndoable();
    if (m_form2) {
        m_form2->setRunning(!enabled);
    }
}

void Form1::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        if (const QScreen *where = screen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(where->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QMainWindow::showEvent(event);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // The close box stops a run between two files and leaves its log in view;
    // otherwise closing the window ends the program like Exit, hidden dialogs
    // included.
    if (m_busy) {
        stopRun();
        event->ignore();
        return;
    }
    event->accept();
    mnuexit_Click();
}

void Form1::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && m_busy) {
        stopRun();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (!m_busy && !localPaths(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void Form1::dropEvent(QDropEvent *event)
{
    const QStringList paths = localPaths(event->mimeData());
    if (m_busy || paths.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // The drag source waits for the drop to finish; the conversion starts
    // right after it has.
    QMetaObject::invokeMethod(
        this, [this, paths] { convertDropped(paths); }, Qt::QueuedConnection);
}

} // namespace velmora
