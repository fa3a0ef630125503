#pragma once

#include <QListWidget>

namespace velmora {

// A classic directory list: the opened folder's ancestors from the root down,
// each one step further indented, the opened folder itself, and below it its
// subfolders in name order. A single click only highlights an entry; a double
// click or Enter opens it. path() is always the opened folder, never a merely
// highlighted one.
class DirListBox : public QListWidget
{
    Q_OBJECT

public:
    explicit DirListBox(QWidget *parent = nullptr);

    QString path() const { return m_path; }
    // Opens folder; false (and nothing changes) when it is not a folder.
    bool setPath(const QString &folder);

    // The full path an entry stands for.
    static QString entryPath(const QListWidgetItem *item);

signals:
    void pathChanged(const QString &path);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void openEntry(QListWidgetItem *item);
    void addEntry(const QString &text, const QString &fullPath, int depth, bool open);

    QString m_path;
};

} // namespace velmora
