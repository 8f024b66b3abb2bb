#include "update/installerstart.h"

#include "update/sha256.h"

#include <QFile>
#include <QProcess>

InstallerStart startCheckedInstaller(const QString &path, const QByteArray &sha256)
{
    if (!sha256.isEmpty()) {
        QFile file(path);
        Sha256 hash;
        if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file) || hash.result() != sha256)
            return InstallerStart::Changed;
    }
    // A downloaded file is not executable here until its owner may run it.
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
    return QProcess::startDetached(path, QStringList(), QString()) ? InstallerStart::Started
                                                                   : InstallerStart::StartFailed;
}
