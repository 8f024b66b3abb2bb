#include "update/installerreuse.h"

#include "update/releasestatement.h"
#include "update/sha256.h"
#include "update/vendorsignature.h"

#include <QFile>
#include <QFileInfo>

bool installerReusable(const QString &path, const InstallerExpectation &expected)
{
    const QFileInfo info(path);
    if (expected.size < 0 || expected.sha256.isEmpty() || !info.isFile() || info.isSymLink() ||
        info.size() != expected.size)
        return false;
    if (!vendorPublicKeys().isEmpty() &&
        !vendorSignatureValid(releaseStatement(expected.version, expected.size, expected.sha256),
                              expected.signature))
        return false;
    QFile file(path);
    Sha256 hash;
    return file.open(QIODevice::ReadOnly) && hash.addData(&file) &&
           hash.result() == expected.sha256;
}
