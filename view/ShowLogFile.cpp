#include "ShowLogFile.h"
#include <QFileDialog>
#include <QVBoxLayout>
#include "DataFrame.h"

namespace za {

TShowLogFile::TShowLogFile(QWidget* parent, const TChannelSet& channels, TEventLog* log, const TClock* clock)
    : QWidget(parent, Qt::Window) {
    setObjectName("TShowLogFile");
    setWindowTitle("Show log file");
    resize(952, 656);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    frame_ = new TDataFrame(this, channels, log, clock, true);
    frame_->setObjectName("DataFrame1");
    layout->addWidget(frame_);
}

void TShowLogFile::ShowLogFileFromPath(const QString& path) {
    frame_->LoadFromFile(path);
    frame_->FlushRefresh();
    show();
    raise();
    activateWindow();
}

QString OpenLogFileFilter(const QString& ext) {
    QString e = ext.startsWith('.') ? ext.mid(1) : ext;
    return "Log Files (*." + e + ");;All Files (*)";
}

QString AskLogFileName(QWidget* parent, const QString& ext, const QString& folder) {
    QFileDialog dlg(parent);
    dlg.setObjectName("OpenLogFileDialog");
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setNameFilter(OpenLogFileFilter(ext));
    QString e = ext.startsWith('.') ? ext.mid(1) : ext;
    if (!e.isEmpty()) dlg.setDefaultSuffix(e);
    if (!folder.isEmpty()) dlg.setDirectory(folder);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return QString();
    return dlg.selectedFiles().first();
}

} // namespace za
