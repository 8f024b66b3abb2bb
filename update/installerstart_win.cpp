#include "update/installerstart.h"

#include "update/heldfile_win.h"
#include "update/sha256.h"

#include <QDir>

InstallerStart startCheckedInstaller(const QString &path, const QByteArray &sha256)
{
    HeldFile file(QDir::toNativeSeparators(path).toStdWString());
    if (!file.isOpen())
        return InstallerStart::StartFailed;
    if (!sha256.isEmpty()) {
        Sha256 hash;
        QByteArray buffer(1024 * 1024, Qt::Uninitialized);
        for (long long count; (count = file.read(buffer.data(), DWORD(buffer.size()))) != 0;) {
            if (count < 0)
                return InstallerStart::Changed;
            hash.addData(QByteArrayView(buffer.constData(), qsizetype(count)));
        }
        if (hash.result() != sha256)
            return InstallerStart::Changed;
    }
    return file.startProcess() ? InstallerStart::Started : InstallerStart::StartFailed;
}
