#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// What the version service states about the installer, so that nothing else is started.
// Every member is optional; an empty expectation checks nothing.
struct InstallerExpectation
{
    int version = 0;      // the offered version's digits, which the signature must name too
    qint64 size = -1;     // length in bytes; -1: not stated
    QByteArray sha256;    // the 32 raw bytes of its SHA-256; empty: not stated
    QByteArray signature; // 64-byte Ed25519 signature over the release statement; empty: none
    QString versionText;  // the offered version as dotted text, signed in its place; empty: none

    bool isEmpty() const { return size < 0 && sha256.isEmpty() && signature.isEmpty(); }
};
