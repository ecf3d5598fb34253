#pragma once
// About box: logo, program name, version and date, and the brand's caption and
// four info lines. Shown for two seconds as a splash when the main window is
// shown, and modally from the Help menu.
#include <QDialog>
#include <QPixmap>
#include <QString>
#include <array>

class QLabel;
class QPushButton;
class QTimer;

namespace za {

struct TBrandProfile;

class TAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* Version = "1.09d";
    static constexpr const char* Date = "31/3-2011";
    static constexpr int SplashMs = 2000;

    explicit TAboutDlg(QWidget* parent = nullptr);

    void SetLogo(const QPixmap& logo);
    void SetProgramName(const QString& name);
    void SetAboutTexts(const QString& caption, const std::array<QString, 4>& info);
    // Caption, info lines and program name from the profile; the logo only
    // when the profile brings its own.
    void ApplyBrand(const TBrandProfile& profile);

    // Non-modal; closes itself after SplashMs.
    void ShowSplash();
    // Modal, from the Help menu; a pending splash close no longer applies.
    int ShowModal();
    bool SplashPending() const;

    QLabel* imLogo = nullptr;
    QLabel* lbProductName = nullptr;
    QLabel* lbVersion = nullptr;
    QLabel* lbDate = nullptr;
    std::array<QLabel*, 4> lbInfo{};
    QPushButton* btOK = nullptr;

private:
    QTimer* splashTimer_ = nullptr;
};

} // namespace za
