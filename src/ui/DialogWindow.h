#pragma once

#include <QDialog>
#include <QSize>

namespace velmora {

// A fixed-size modal dialog: title and close box only (no minimise, maximise
// or help button), centred on its owner when shown, and hidden rather than
// destroyed, so what it holds is still there the next time.
inline void makeFixedDialog(QDialog *dialog, const QSize &clientSize)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    dialog->setModal(true);
    dialog->setSizeGripEnabled(false);
    dialog->setFixedSize(clientSize);
}

} // namespace velmora
