#pragma once

#include <QString>

#include <optional>

// A version written with dots, such as "1.0.10": the digits alone (1010) do not order, because
// 1.0.10 would count as newer than 1.1.0 (110).

// Whether `text` is a release's version as the version reply and the signed statement carry
// it: one to four parts, decimal, without leading zeros, each at most 65535.
bool isReleaseVersion(const QString &text);

// The digits of a dotted version, the dots left out: the form of "appVersion".
QString versionDigits(const QString &dotted);

// Compares two dotted versions part by part, a missing part counting as 0: negative, 0 or
// positive as `a` is older, the same or newer. Leading zeros and any number of parts are taken
// here, since the installed version comes from the main application as it writes it. Nothing
// when either is not dotted decimal text.
std::optional<int> compareVersions(const QString &a, const QString &b);
