#pragma once

#include <QMainWindow>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velmora {

class Form1;
class LogView;

// A bigger view of the main window's log, beside it: resizable, modeless, over
// the same lines (never a copy of them), with a view of the failures only,
// Find, and Save Log. The main window keeps its own box as it is.
class LogWindow : public QMainWindow
{
    Q_OBJECT

public:
    LogWindow(LogView *source, Form1 *owner);

    LogView *m_view;
    QCheckBox *m_failuresOnly;
    QLineEdit *m_findText;
    QPushButton *m_findNext;
    QPushButton *m_findPrevious;
    QLabel *m_counts;
    QAction *m_save;

public slots:
    void findNext();
    void findPrevious();

private:
    void find(bool backward);
    void showCounts();

    LogView *m_source;
};

} // namespace velmora
