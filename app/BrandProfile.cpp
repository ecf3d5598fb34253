#include "BrandProfile.h"
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include "config/Settings.h"

namespace za {

namespace {

// anyFormat: take whatever picture format the content is; otherwise a bitmap only.
// Missing or unreadable gives an empty picture.
QPixmap LoadLogo(const QString& path, bool anyFormat) {
    // Most installations have no logo file; asking the reader would only print noise.
    if (!QFileInfo(path).isFile()) return QPixmap();
    QImageReader reader(path, anyFormat ? QByteArray() : QByteArray("bmp"));
    if (anyFormat) {
        reader.setDecideFormatFromContent(true);
    } else {
        reader.setAutoDetectImageFormat(false);
    }
    const QImage img = reader.read();
    return img.isNull() ? QPixmap() : QPixmap::fromImage(img);
}

} // namespace

TBrandProfile ApplyBrandProfile(const QString& code, const TSettings& settings, const QString& exeFolder) {
    const QString brand = code.toUpper();
    const QDir folder(exeFolder);
    TBrandProfile p;
    if (brand == "VT") {
        p.title = p.caption = "Voltaro People Counter Datalog";
        p.aboutCaption = "About Voltaro People Counter";
        p.aboutInfo = {"Voltaro", "www.voltaro.example", "", ""};
        p.masterPassword = BrandMasterPassword(brand);
        p.logo = LoadLogo(folder.filePath("voltarologo.bmp"), true);
    } else if (brand == "KS") {
        p.title = p.caption = "Kestrano Zentrell App.";
        p.aboutCaption = "Programinformation";
        p.aboutInfo = {"Kestrano ApS", "Lyngbakken 12", "DK-9999 Havnby", "Phone: +45 00 00 00 00"};
        p.masterPassword = BrandMasterPassword(brand);
        p.keepBuiltInLogo = true;
    } else {
        p.title = settings.AppTitle;
        p.caption = settings.AppCaption;
        p.aboutCaption = settings.AboutCaption;
        p.aboutInfo = {settings.AboutInfo[0], settings.AboutInfo[1], settings.AboutInfo[2], settings.AboutInfo[3]};
        p.masterPassword = BrandMasterPassword(brand);
        p.logo = LoadLogo(folder.filePath("zentrellapp.bmp"), false);
    }
    return p;
}

} // namespace za
