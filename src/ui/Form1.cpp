#include "ui/Form1.h"

#include "convert/Module1.h"
#include "ui/AppIcon.h"
#include "ui/FileFilter.h"
#include "ui/Form2.h"
#include "ui/Form3.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

namespace velmora {

const QString Form1::Caption = QStringLiteral("CL2 Direction Velmora");

namespace {

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

} // namespace

Form1::Form1(QWidget *parent) : QMainWindow(parent), Text2(new QPlainTextEdit), m_log(Text2)
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
    Text2->setReadOnly(true);
    Text2->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
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
    mnuexit = mnufile->addAction(QStringLiteral("&Exit"));
    mnuexit->setObjectName(QStringLiteral("mnuexit"));
    mnuabout = menuBar()->addAction(QStringLiteral("&About"));
    mnuabout->setObjectName(QStringLiteral("mnuabout"));

    // The client area keeps its size; the window is that plus the menu bar.
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    m_chooseFile = [this] { return chooseFileInDialog(); };

    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(mnuexit, &QAction::triggered, this, &Form1::mnuexit_Click);
    connect(mnuabout, &QAction::triggered, this, &Form1::mnuabout_Click);
}

Form1::~Form1() = default;

void Form1::setFileChooser(FileChooser chooser)
{
    m_chooseFile = std::move(chooser);
}

void Form1::setJournal(Journal *journal, const QString &whyNone)
{
    m_journal = journal;
    m_whyNoJournal = whyNone;
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

void Form1::Command1_Click()
{
    if (m_busy || !m_chooseFile) {
        return;
    }
    const QString name = m_chooseFile();
    if (name.isEmpty() || !FileExists(name)) {
        return;
    }
    beginOperation();
    ReorderDirections(name, m_log, conversionOptions());
    endOperation();
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

void Form1::mnuexit_Click()
{
    // Ends the program at once: no prompt, every window gone.
    for (QWidget *window : QApplication::topLevelWidgets()) {
        window->hide();
    }
    QCoreApplication::exit(0);
}

void Form1::convertFolder(const QString &folder)
{
    beginOperation();
    ScanFolder(folder, m_log, progressOptions());
    endOperation();
}

void Form1::convertDropped(const QStringList &paths)
{
    if (m_busy) {
        return;
    }
    beginOperation();
    const ScanOptions options = progressOptions();
    // One drop is one run: a file dropped under two names is converted once.
    ConvertedFiles converted;
    for (qsizetype i = 0; i < paths.size(); ++i) {
        const QString &path = paths.at(i);
        if (QFileInfo(path).isDir()) {
            ScanFolder(path, m_log, options);
        } else {
            ReorderDirections(path, m_log, options.conversion, &converted);
            if (paths.size() > 1) {
                reportProgress(i + 1, paths.size());
            }
        }
    }
    endOperation();
}

void Form1::reportProgress(qsizetype done, qsizetype total)
{
    if (m_progressClock.due()) {
        setWindowTitle(Caption + QLatin1String(" - ") + QString::number(done) +
                       QLatin1String(" / ") + QString::number(total));
    }
}

void Form1::beginOperation()
{
    m_busy = true;
    m_log.Clear();
    if (!m_journal && !m_whyNoJournal.isEmpty()) {
        m_log.AppendLine(QLatin1String("ERROR: Files cannot be protected against interruption: ") +
                         m_whyNoJournal);
    }
}

ConversionOptions Form1::conversionOptions() const
{
    ConversionOptions options;
    options.journal = m_journal;
    return options;
}

ScanOptions Form1::progressOptions()
{
    ScanOptions options;
    options.conversion = conversionOptions();
    options.progress = [this](qsizetype done, qsizetype total) {
        reportProgress(done, total);
        return true;
    };
    return options;
}

void Form1::endOperation()
{
    m_log.flush();
    setWindowTitle(Caption);
    m_progressClock.reset();
    m_busy = false;
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
    // A batch runs to its end; afterwards closing the window ends the program
    // like Exit, hidden dialogs included.
    if (m_busy) {
        event->ignore();
        return;
    }
    event->accept();
    mnuexit_Click();
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
