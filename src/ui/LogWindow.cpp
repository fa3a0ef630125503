#include "ui/LogWindow.h"

#include "ui/Form1.h"
#include "ui/LogView.h"
#include "ui/Twips.h"

#include <QAction>
#include <QBoxLayout>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>

namespace velmora {

LogWindow::LogWindow(LogView *source, Form1 *owner)
    : QMainWindow(owner, Qt::Window), m_view(new LogView), m_source(source)
{
    setObjectName(QStringLiteral("logWindow"));
    setWindowTitle(QStringLiteral("Message Log"));
    setFont(formFont());
    resize(twips(12000, 7200));

    auto *client = new QWidget(this);
    setCentralWidget(client);
    auto *rows = new QVBoxLayout(client);
    auto *tools = new QHBoxLayout;
    rows->addLayout(tools);

    m_failuresOnly = new QCheckBox(QStringLiteral("&Failures only"), client);
    m_failuresOnly->setObjectName(QStringLiteral("failuresOnly"));
    tools->addWidget(m_failuresOnly);
    tools->addStretch();
    auto *findLabel = new QLabel(QStringLiteral("F&ind:"), client);
    tools->addWidget(findLabel);
    m_findText = new QLineEdit(client);
    m_findText->setObjectName(QStringLiteral("findText"));
    m_findText->setMinimumWidth(twips(3000));
    findLabel->setBuddy(m_findText);
    tools->addWidget(m_findText);
    m_findNext = new QPushButton(QStringLiteral("&Next"), client);
    m_findNext->setObjectName(QStringLiteral("findNext"));
    m_findNext->setAutoDefault(false);
    tools->addWidget(m_findNext);
    m_findPrevious = new QPushButton(QStringLiteral("&Previous"), client);
    m_findPrevious->setObjectName(QStringLiteral("findPrevious"));
    m_findPrevious->setAutoDefault(false);
    tools->addWidget(m_findPrevious);

    m_view->setParent(client);
    m_view->setObjectName(QStringLiteral("logView"));
    m_view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_view->showLinesOf(source);
    rows->addWidget(m_view, 1);

    m_counts = new QLabel(this);
    m_counts->setObjectName(QStringLiteral("counts"));
    statusBar()->addPermanentWidget(m_counts);
    statusBar()->setSizeGripEnabled(true);

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    m_save = file->addAction(QStringLiteral("&Save Log..."));
    m_save->setObjectName(QStringLiteral("saveLog"));
    m_save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    QAction *close = file->addAction(QStringLiteral("&Close"));
    close->setShortcut(QKeySequence(Qt::Key_Escape));
    QMenu *search = menuBar()->addMenu(QStringLiteral("&Search"));
    QAction *findField = search->addAction(QStringLiteral("&Find..."));
    findField->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    QAction *next = search->addAction(QStringLiteral("Find &Next"));
    next->setShortcut(QKeySequence(Qt::Key_F3));
    QAction *previous = search->addAction(QStringLiteral("Find &Previous"));
    previous->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3));

    connect(m_failuresOnly, &QCheckBox::toggled, m_view, &LogView::setFailuresOnly);
    connect(m_findText, &QLineEdit::returnPressed, this, &LogWindow::findNext);
    connect(m_findText, &QLineEdit::textChanged, statusBar(), &QStatusBar::clearMessage);
    connect(m_findNext, &QPushButton::clicked, this, &LogWindow::findNext);
    connect(m_findPrevious, &QPushButton::clicked, this, &LogWindow::findPrevious);
    connect(next, &QAction::triggered, this, &LogWindow::findNext);
    connect(previous, &QAction::triggered, this, &LogWindow::findPrevious);
    connect(findField, &QAction::triggered, this, [this] {
        m_findText->setFocus();
        m_findText->selectAll();
    });
    // Saves what this window shows: every line, or the failures only.
    connect(m_save, &QAction::triggered, owner, [this, owner] { owner->saveLog(*m_view); });
    connect(close, &QAction::triggered, this, &QWidget::close);
    connect(source, &LogView::linesAppended, this, &LogWindow::showCounts);
    connect(source, &LogView::linesCleared, this, &LogWindow::showCounts);
    showCounts();
}

void LogWindow::findNext()
{
    find(false);
}

void LogWindow::findPrevious()
{
    find(true);
}

void LogWindow::find(bool backward)
{
    const QString text = m_findText->text();
    if (text.isEmpty()) {
        m_findText->setFocus();
    } else if (!m_view->find(text, backward)) {
        statusBar()->showMessage(QStringLiteral("Not found: ") + text);
    } else {
        statusBar()->clearMessage();
    }
}

void LogWindow::showCounts()
{
    const LogLines &lines = m_source->lines();
    m_counts->setText(
        QStringLiteral("%L1 lines, %L2 failures").arg(lines.size()).arg(lines.failureCount()));
}

} // namespace velmora
