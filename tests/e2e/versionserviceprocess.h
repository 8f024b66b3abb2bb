#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>

// A running glimmerpane-version-service on a free loopback port with the test certificate.
class VersionServiceProcess : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VersionServiceProcess)

public:
    explicit VersionServiceProcess(QObject *parent = nullptr);
    ~VersionServiceProcess() override;

    // Starts the service with these options added and waits until it listens.
    bool start(const QStringList &options);
    QString origin() const { return serviceOrigin; }
    // The requests so far as "<method> <path> <query> <status>", without the time.
    QStringList requests() const;
    QString output() const { return lastOutput; }

private:
    QProcess process;
    QString requestLogPath;
    QString serviceOrigin;
    QString lastOutput;
};

// The test data file of that name (tests/data).
QString testDataFile(const QString &name);

// The version request as the service logs it.
inline const QString versionRequestLine =
    QStringLiteral("GET /api/front/index/get/version appPlatform=Windows 200");
