#pragma once

#include <QByteArray>
#include <QtGlobal>

// The bytes the vendor signs for one release, so that a signature vouches for the version it is
// offered as, not only for the installer's bytes. ASCII, one field per line, each line ended by
// one LF (0x0A), which no field can hold:
//   glimmerpane-release-statement-1   the layout's own tag; a new layout gets a new tag
//   Glimmerpane                       the product
//   Windows                           the platform
//   <version>                         the offered version's digits, decimal, no leading zeros
//   <size>                            the installer's length in bytes, decimal, no leading zeros
//   <sha256>                          the installer's SHA-256, 64 lower-case hexadecimal digits
// Empty when the size or the digest is missing, so that nothing can be signed or verified then.
QByteArray releaseStatement(int version, qint64 size, const QByteArray &sha256);
