#pragma once
// The far end of a serial line for tests: the master side of a pseudo-terminal
// whose slave device the code under test opens.
#include <QByteArray>
#include <QString>

namespace zt {

class TPty {
public:
    TPty();
    ~TPty();
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    QString Slave() const { return slave_; }     // "" when no pseudo-terminal could be had
    bool Write(const QByteArray& bytes);
    // Everything that arrives within waitMs of the last byte.
    QByteArray Read(int waitMs = 300);

private:
    int master_ = -1;
    QString slave_;
};

} // namespace zt
