#pragma once

#include "update/installerexpectation.h"

#include <QString>

// Whether the installer at `path` is already the whole offered one, so that it is started
// without being fetched again: its length and SHA-256 are the stated ones, and the vendor's
// signature over that statement holds as it does before a download. Without a stated size and
// digest nothing can tell it from another file, and it is never reused.
bool installerReusable(const QString &path, const InstallerExpectation &expected);
