#include "QtMessageChannel.h"
#include <QApplication>
#include <QMessageBox>

namespace za {

void TQtMessageChannel::ShowBox(TBoxKind kind, const QString& text) {
    QWidget* parent = QApplication::activeWindow();
    switch (kind) {
    case TBoxKind::Information: QMessageBox::information(parent, "Information", text, QMessageBox::Ok); break;
    case TBoxKind::Warning: QMessageBox::warning(parent, "Warning", text, QMessageBox::Ok); break;
    case TBoxKind::Error: QMessageBox::critical(parent, "Error", text, QMessageBox::Ok); break;
    }
}

void TQtMessageChannel::Beep() { QApplication::beep(); }

} // namespace za
