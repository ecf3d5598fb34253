#include "AboutDlg.h"
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include "BrandProfile.h"

namespace za {

TAboutDlg::TAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName("AboutDlg");
    setWindowTitle("Programinformation");

    imLogo = new QLabel(this);
    imLogo->setObjectName("imLogo");
    imLogo->setAlignment(Qt::AlignCenter);
    imLogo->setMinimumSize(64, 64);

    lbProductName = new QLabel("ZentrellApp", this);
    lbProductName->setObjectName("lbProductName");
    QFont big = lbProductName->font();
    big.setBold(true);
    big.setPointSize(big.pointSize() + 4);
    lbProductName->setFont(big);

    lbVersion = new QLabel(QString("Version ") + Version, this);
    lbVersion->setObjectName("lbVersion");
    lbDate = new QLabel(Date, this);
    lbDate->setObjectName("lbDate");

    auto* text = new QVBoxLayout;
    text->addWidget(lbProductName);
    text->addWidget(lbVersion);
    text->addWidget(lbDate);
    text->addSpacing(8);
    for (int i = 0; i < 4; ++i) {
        lbInfo[i] = new QLabel(this);
        lbInfo[i]->setObjectName(QString("lbInfo%1").arg(i + 1));
        text->addWidget(lbInfo[i]);
    }
    text->addStretch();

    auto* top = new QHBoxLayout;
    top->addWidget(imLogo);
    top->addLayout(text, 1);

    btOK = new QPushButton("OK", this);
    btOK->setObjectName("btOK");
    btOK->setDefault(true);
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOK);

    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addLayout(buttons);

    splashTimer_ = new QTimer(this);
    splashTimer_->setSingleShot(true);
    splashTimer_->setInterval(SplashMs);
    connect(splashTimer_, &QTimer::timeout, this, &QDialog::close);
}

void TAboutDlg::SetLogo(const QPixmap& logo) {
    imLogo->setPixmap(logo);
    if (logo.isNull()) imLogo->clear();
}

void TAboutDlg::SetProgramName(const QString& name) { lbProductName->setText(name); }

void TAboutDlg::SetAboutTexts(const QString& caption, const std::array<QString, 4>& info) {
    setWindowTitle(caption);
    for (int i = 0; i < 4; ++i) lbInfo[i]->setText(info[i]);
}

void TAboutDlg::ApplyBrand(const TBrandProfile& profile) {
    SetProgramName(profile.title);
    SetAboutTexts(profile.aboutCaption, profile.aboutInfo);
    if (!profile.keepBuiltInLogo) SetLogo(profile.logo);
}

void TAboutDlg::ShowSplash() {
    if (isModal() && isVisible()) return;   // already open from the Help menu
    show();
    raise();
    splashTimer_->start();                 // a second splash restarts the two seconds
}

int TAboutDlg::ShowModal() {
    splashTimer_->stop();
    if (isVisible()) hide();               // exec() on a shown non-modal dialog would not block as modal
    return exec();
}

bool TAboutDlg::SplashPending() const { return splashTimer_->isActive(); }

} // namespace za
