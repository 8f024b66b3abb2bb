#pragma once

#include <QByteArray>
#include <QtGlobal>

// How a response to an installer request goes on from the bytes already on disk.
enum class ResumeAction {
    Append,    // the response continues the kept bytes (or starts the file when none are kept)
    StartOver, // the response is the whole file: the kept bytes go, the body is written from 0
    Refuse,    // the response cannot continue the kept bytes: drop them, fetch the whole file
};

// What a request asked for and what the server's head answered.
struct ResumeHead
{
    int status = 0;            // 200, 206 or 416; other codes never carry the file
    QByteArray contentRange;   // as received
    QByteArray validatorSent;  // the If-Range value; empty when no range was asked for
    QByteArray validatorGiven; // the response's ETag, else its Last-Modified
    qint64 offset = 0;         // bytes kept, where the range starts
    qint64 size = -1;          // the stated size; -1 when not stated
};

ResumeAction decideResume(const ResumeHead &head);
