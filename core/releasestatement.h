#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

// The bytes the vendor signs for one release, so that a signature vouches for the version it is
// offered as, not only for the installer's bytes. ASCII, one field per line, each line ended by
// one LF (0x0A), which no field can hold:
//   glimmerpane-release-statement-2   the layout's own tag; a new layout gets a new tag
//   Glimmerpane                       the product
//   Windows                           the platform
//   <version>                         the offered version as dotted text ("1.0.10")
//   <size>                            the installer's length in bytes, decimal, no leading zeros
//   <sha256>                          the installer's SHA-256, 64 lower-case hexadecimal digits
// Empty when the size or the digest is missing, so that nothing can be signed or verified then.
QByteArray releaseStatement(const QString &dottedVersion, qint64 size, const QByteArray &sha256);

// The first layout, for replies without a dotted version: tag "glimmerpane-release-statement-1"
// and the version's digits ("1010"), which do not tell 1.0.10 from 10.1.0.
QByteArray digitsReleaseStatement(int version, qint64 size, const QByteArray &sha256);
