#pragma once

// Window tests only: the main window over a folder of sample files, driven
// the way a user drives it. Include only from tests that link the widget
// library.

#include "support/Cl2Fixture.h"
#include "ui/Form1.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace velmora::test {

using namespace Qt::StringLiterals;

inline const QString PreviousLog = u"ERROR: File (earlier.cl2) isn't a 8 directions file"_s;

// '@' stands for the test folder in expected log lines.
inline QString realigned(const char *name)
{
    return u"SUCCESS: File (@/%1) directions were realigned"_s.arg(QLatin1String(name));
}

class FormTest
{
public:
    FormTest()
    {
        const QByteArray good = makeEightDirectionCl2(2);
        for (const char *name : {"good one.cl2", "sprites/top.cl2", "sprites/deeper/below.cl2",
                                 "batch/1.cl2", "batch/2.cl2", "batch/3.cl2"}) {
            files.insert(putFile(dir, QLatin1String(name), good), good);
        }
        files.insert(putFile(dir, u"bad.cl2"_s, makeSingleDirectionCl2(4)),
                     makeSingleDirectionCl2(4));
        files.insert(putFile(dir, u"sprites/notes.txt"_s, "keep"), "keep");
        form.Form_Load();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.log().AppendLine(PreviousLog);
        form.log().flush();
    }

    QString path(const char *name) const { return dir.filePath(QLatin1String(name)); }

    // Drags the named files (or URLs) onto the window's log box, the most of
    // it, and drops them there.
    void drop(const QStringList &names, bool accepted)
    {
        QList<QUrl> urls;
        for (const QString &name : names) {
            urls << (name.contains(u':') ? QUrl(name) : QUrl::fromLocalFile(dir.filePath(name)));
        }
        QMimeData data;
        data.setUrls(urls);
        QWidget *target = form.childAt(form.rect().center());
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        QCOMPARE(enter.isAccepted(), accepted);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        QCOMPARE(dropped.isAccepted(), accepted);
    }

    // The log holds the expected lines, each ended by CR LF; a line may go on
    // past what is expected (a system's reason).
    void checkLog(const QStringList &expected)
    {
        QStringList lines = form.logText().split(u"\r\n"_s);
        QCOMPARE(lines.takeLast(), QString());
        QCOMPARE(lines.size(), expected.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QVERIFY2(lines[i].startsWith(QString(expected[i]).replace(u'@', dir.path())),
                     qPrintable(lines[i]));
        }
    }

    // A file the log says was realigned is converted exactly once; any other
    // is untouched.
    void checkFiles()
    {
        for (const auto &[file, before] : files.asKeyValueRange()) {
            QVERIFY2(form.logText().contains(realignedLine(file))
                         ? framesBySlot(readFile(file)) == slotsAfterConversion(before)
                         : readFile(file) == before,
                     qPrintable(file));
        }
    }

    // Runs open(), which shows a modal dialog, and the action on the dialog
    // while it is up. The dialog, once hidden again; null if it did not show
    // or stayed up (it is then hidden, so the test fails instead of hanging).
    template <typename Dialog>
    Dialog *whileModal(const std::function<void()> &open,
                       const std::function<void(Dialog &)> &action)
    {
        QPointer<Dialog> shown;
        QTimer poll;
        poll.callOnTimeout([&] {
            shown = qobject_cast<Dialog *>(QApplication::activeModalWidget());
            if (shown && shown->isVisible()) {
                poll.stop();
                action(*shown);
                if (!QTest::qWaitFor([&] { return !shown->isVisible(); })) {
                    shown->hide();
                    shown = nullptr;
                }
            }
        });
        poll.start(10);
        open();
        return shown;
    }

    QTemporaryDir dir;
    QMap<QString, QByteArray> files; // every file made, with its bytes
    Form1 form;
};

} // namespace velmora::test
