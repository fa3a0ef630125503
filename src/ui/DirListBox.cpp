#include "ui/DirListBox.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QStyle>
#include <QStyledItemDelegate>

namespace velmora {

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int DepthRole = Qt::UserRole + 1;
constexpr int IndentPixels = 10;

// Draws each entry moved right by its depth, so the ancestors read as a chain.
class IndentDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override
    {
        QStyleOptionViewItem moved = option;
        moved.rect.setLeft(option.rect.left() + indent(index));
        QStyledItemDelegate::paint(painter, moved, index);
    }

    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
    }

private:
    static int indent(const QModelIndex &index)
    {
        return index.data(DepthRole).toInt() * IndentPixels;
    }
};

// The folders from the root down to folder, root first.
QStringList chainTo(const QString &folder)
{
    QStringList chain;
    QDir dir(folder);
    chain.prepend(dir.absolutePath());
    while (dir.cdUp()) {
        chain.prepend(dir.absolutePath());
    }
    return chain;
}

QString entryName(const QString &fullPath)
{
    const QString name = QFileInfo(fullPath).fileName();
    return name.isEmpty() ? QDir::toNativeSeparators(fullPath) : name;
}

} // namespace

DirListBox::DirListBox(QWidget *parent) : QListWidget(parent)
{
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemDoubleClicked, this, &DirListBox::openEntry);
}

QString DirListBox::entryPath(const QListWidgetItem *item)
{
    return item ? item->data(PathRole).toString() : QString();
}

bool DirListBox::setPath(const QString &folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir()) {
        return false;
    }
    const QString opened = QDir::cleanPath(info.absoluteFilePath());

    clear();
    const QStringList chain = chainTo(opened);
    for (int depth = 0; depth < chain.size(); ++depth) {
        addEntry(entryName(chain.at(depth)), chain.at(depth), depth, true);
    }
    QListWidgetItem *openedItem = item(count() - 1);

    // Hidden folders are listed too: game data often lives below one (a
    // Wine prefix, a launcher's data folder).
    QDir dir(opened);
    const QStringList children = dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                                               QDir::Name | QDir::IgnoreCase);
    for (const QString &child : children) {
        addEntry(child, dir.absoluteFilePath(child), int(chain.size()), false);
    }

    setCurrentItem(openedItem);
    scrollToItem(openedItem);
    m_path = opened;
    emit pathChanged(m_path);
    return true;
}

void DirListBox::addEntry(const QString &text, const QString &fullPath, int depth, bool open)
{
    auto *entry = new QListWidgetItem(
        style()->standardIcon(open ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon), text,
        this);
    entry->setData(PathRole, fullPath);
    entry->setData(DepthRole, depth);
    entry->setToolTip(QDir::toNativeSeparators(fullPath));
}

void DirListBox::openEntry(QListWidgetItem *item)
{
    const QString target = entryPath(item);
    if (!target.isEmpty() && target != m_path) {
        setPath(target);
    }
}

void DirListBox::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openEntry(currentItem());
        event->accept();
        return;
    }
    QListWidget::keyPressEvent(event);
}

} // namespace velmora
