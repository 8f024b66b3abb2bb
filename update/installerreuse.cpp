#include "update/installerreuse.h"

#include "core/ownfile.h"
#include "update/sha256.h"
#include "update/vendorsignature.h"

#include <QFile>

bool installerReusable(const QString &path, const InstallerExpectation &expected)
{
    if (expected.size < 0 || expected.sha256.isEmpty() || !signedByVendor(expected))
        return false;
    QFile file;
    Sha256 hash;
    return openOwnFile(file, path, OwnFileMode::Read) && file.size() == expected.size &&
           hash.addData(&file) && hash.result() == expected.sha256;
}
