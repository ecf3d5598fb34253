#pragma once
// Brand profiles: the brand code in the settings decides the window title,
// the about-box texts, the default master password and the logo.
#include <QPixmap>
#include <QString>
#include <array>

namespace za {

struct TSettings;

struct TBrandProfile {
    QString title;                        // application title
    QString caption;                      // main window caption
    QString aboutCaption;                 // about-box window title
    std::array<QString, 4> aboutInfo;     // about-box info lines 1..4
    QString masterPassword;               // default master password
    QPixmap logo;                         // empty when no logo file could be loaded
    bool keepBuiltInLogo = false;         // leave the main window's own logo in place
};

// code: the brand code (letter case does not matter); settings: the neutral
// profile's APPINFO texts; exeFolder: where the logo files are.
TBrandProfile ApplyBrandProfile(const QString& code, const TSettings& settings, const QString& exeFolder);

} // namespace za
