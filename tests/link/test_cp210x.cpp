// Finding the USB bridge in a sysfs tree built in a scratch folder, and the
// presence probe on real devices.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include "support/TestSupport.h"
#include "link/Cp210x.h"

using namespace za;

namespace {

struct TUsbDevice {
    QString name;          // folder under bus/usb/devices, e.g. "1-2"
    QString vendor, product, serial;
    QString ttyPath;       // below the first interface folder, e.g. "ttyUSB3" or "tty/ttyUSB3"; "" none
};

void WriteText(const QString& path, const QString& text) {
    zt::WriteAll(path, (text + "\n").toLatin1());
}

void MakeDevice(const QString& root, const TUsbDevice& d) {
    const QString dev = root + "/bus/usb/devices/" + d.name;
    ASSERT_TRUE(QDir().mkpath(dev));
    if (!d.vendor.isNull()) WriteText(dev + "/idVendor", d.vendor);
    if (!d.product.isNull()) WriteText(dev + "/idProduct", d.product);
    if (!d.serial.isNull()) WriteText(dev + "/serial", d.serial);
    const QString iface = dev + "/" + d.name + ":1.0";
    ASSERT_TRUE(QDir().mkpath(iface));
    if (!d.ttyPath.isEmpty()) ASSERT_TRUE(QDir().mkpath(iface + "/" + d.ttyPath));
}

struct TFindCase {
    const char* what;
    QVector<TUsbDevice> devices;
    int expected;
    const char* expectedDevice;
};

} // namespace

TEST(FindCp210xPort, FakeTrees) {
    const TUsbDevice bridge{"1-2", "10c4", "ea60", "0001", "ttyUSB3"};
    const QVector<TFindCase> cases = {
        {"bridge with tty child", {bridge}, 103, "/dev/ttyUSB3"},
        {"tty class folder layout", {{"3-1.4", "10c4", "ea60", "0001", "tty/ttyUSB0"}}, 100, "/dev/ttyUSB0"},
        {"ids in upper case", {{"1-2", "10C4", "EA60", "0001", "ttyUSB12"}}, 112, "/dev/ttyUSB12"},
        {"wrong serial", {{"1-2", "10c4", "ea60", "0002", "ttyUSB3"}}, -1, ""},
        {"no serial file", {{"1-2", "10c4", "ea60", QString(), "ttyUSB3"}}, -1, ""},
        {"wrong product", {{"1-2", "10c4", "ea70", "0001", "ttyUSB3"}}, -1, ""},
        {"other vendor", {{"1-2", "0403", "6001", "0001", "ttyUSB3"}}, -1, ""},
        {"bridge without tty (driver not bound)", {{"1-2", "10c4", "ea60", "0001", ""}}, -1, ""},
        {"other bridge first, the right one behind it",
         {{"1-1", "10c4", "ea60", "0002", "ttyUSB0"}, {"1-3", "10c4", "ea60", "0001", "ttyUSB1"}}, 101,
         "/dev/ttyUSB1"},
        {"no devices at all", {}, -1, ""},
    };
    for (const TFindCase& c : cases) {
        SCOPED_TRACE(c.what);
        zt::TScratchDir tmp;
        for (const TUsbDevice& d : c.devices) MakeDevice(tmp.Path(), d);
        int n = -1;
        QString device = "untouched";
        FindCp210xPort(n, tmp.Path(), &device);
        EXPECT_EQ(n, c.expected);
        EXPECT_EQ(device, c.expected == -1 ? QString("untouched") : QString(c.expectedDevice));
    }
}

TEST(FindCp210xPort, NumberSetOnEntryIsKept) {
    zt::TScratchDir tmp;
    MakeDevice(tmp.Path(), {"1-2", "10c4", "ea60", "0001", "ttyUSB3"});
    for (int start : {1, 12, 0, 105}) {
        int n = start;
        EXPECT_FALSE(FindCp210xPort(n, tmp.Path()));
        EXPECT_EQ(n, start);
    }
    int n = -1;
    EXPECT_TRUE(FindCp210xPort(n, tmp.Path()));
    EXPECT_EQ(n, 103);
}

TEST(FindCp210xPort, MissingRootFindsNothing) {
    int n = -1;
    EXPECT_FALSE(FindCp210xPort(n, "/nonexistent-sysfs-root"));
    EXPECT_EQ(n, -1);
}

TEST(ProbeSerialDevice, PresentMissingAndNotADevice) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const QString slave = QString::fromLatin1(ptsname(master));

    QString err;
    EXPECT_TRUE(ProbeSerialDevice(slave, &err)) << err.toStdString();
    // The probe must not leave the device locked for the real open.
    const int again = ::open(slave.toLatin1().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(again, 0);
    if (again >= 0) ::close(again);

    zt::TScratchDir tmp;
    EXPECT_FALSE(ProbeSerialDevice(tmp.File("ttyUSB9"), &err));
    EXPECT_TRUE(err.startsWith(tmp.File("ttyUSB9") + ": ")) << err.toStdString();
    EXPECT_FALSE(QFile::exists(tmp.File("ttyUSB9")));   // never created by the probe

    zt::WriteAll(tmp.File("plain"), "x");
    EXPECT_FALSE(ProbeSerialDevice(tmp.File("plain"), &err));
    EXPECT_FALSE(ProbeSerialDevice(QString(), &err));
    ::close(master);
}
