#pragma once

#include <QByteArray>
#include <QObject>

class QTimer;

// The waits between the tries of one download: the policy's steps or the server's Retry-After,
// within the limit for all waits since the download last made progress. due() asks for the
// next try.
class RetryBackoff : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RetryBackoff)

public:
    explicit RetryBackoff(QObject *parent = nullptr);

    // Starts the wait before the next try; false when no try is left. The tries so far count 1.
    bool schedule(const QByteArray &retryAfter);
    int retries() const;
    // The last try added bytes that are kept: the tries and the waits count from nothing again,
    // so that a link that keeps dropping still brings the whole file, a piece at a time.
    void restart();
    void cancel();

signals:
    void due();

private:
    QTimer *timer;
    int count = 0;
    qint64 waitedMs = 0;
};
