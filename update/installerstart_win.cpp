#include "update/installerstart.h"

#include "update/busyfile.h"
#include "update/heldfile_win.h"
#include "update/sha256.h"

#include <QDir>

#include <optional>

InstallerStart startCheckedInstaller(const QString &path, const QByteArray &sha256)
{
    const std::wstring nativePath = QDir::toNativeSeparators(path).toStdWString();
    std::optional<HeldFile> file;
    retryWhileBusy([&] {
        file.emplace(nativePath);
        if (file->isOpen())
            return FileStep::Done;
        return file->openError() == ERROR_SHARING_VIOLATION ||
                       file->openError() == ERROR_ACCESS_DENIED
                   ? FileStep::Busy
                   : FileStep::Failed;
    });
    if (!file->isOpen())
        return InstallerStart::StartFailed;
    if (!sha256.isEmpty()) {
        Sha256 hash;
        QByteArray buffer(1024 * 1024, Qt::Uninitialized);
        for (long long count; (count = file->read(buffer.data(), DWORD(buffer.size()))) != 0;) {
            if (count < 0)
                return InstallerStart::Changed;
            hash.addData(QByteArrayView(buffer.constData(), qsizetype(count)));
        }
        if (hash.result() != sha256)
            return InstallerStart::Changed;
    }
    switch (file->startProcess(takeStartFault())) {
    case ERROR_SUCCESS:
        return InstallerStart::Started;
    case ERROR_CANCELLED:
        return InstallerStart::Cancelled;
    default:
        return InstallerStart::StartFailed;
    }
}
