#include "update/installerstart.h"

#include "core/ownfile.h"
#include "update/sha256.h"
#include "update/startfault.h"

#include <QFile>
#include <QProcess>

InstallerStart startCheckedInstaller(const QString &path, const QByteArray &sha256)
{
    if (!sha256.isEmpty()) {
        QFile file;
        Sha256 hash;
        if (!openOwnFile(file, path, OwnFileMode::Read) || !hash.addData(&file) ||
            hash.result() != sha256)
            return InstallerStart::Changed;
    }
    // No elevation prompt here; the declined one is played through for the window's sake.
    if (takeStartFault().shellExecuteError == 1223)
        return InstallerStart::Cancelled;
    // A downloaded file is not executable here until its owner may run it.
    QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
    return QProcess::startDetached(path, QStringList(), QString()) ? InstallerStart::Started
                                                                   : InstallerStart::StartFailed;
}
