#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

class QIODevice;

// SHA-256 of a download, by the system's own implementation: CNG on Windows, libcrypto (which
// uses the processor's SHA instructions) elsewhere, Qt's where neither was found. Qt 6.4's
// QCryptographicHash runs about ten times slower than libcrypto here, which would more than
// double the CPU time of a signed download (bench/README.md).
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Q_DISABLE_COPY_MOVE(Sha256)

    void addData(QByteArrayView bytes);
    // Reads the device to its end; false when a read fails.
    bool addData(QIODevice *device);
    // The 32 raw bytes of the digest, empty when the implementation failed; the object starts
    // over afterwards.
    QByteArray result();

private:
    class Context;
    std::unique_ptr<Context> context;
};
