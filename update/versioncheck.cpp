#include "update/versioncheck.h"

#include "update/releasenotes.h"
#include "update/vendorsignature.h"
#include "update/versionreply.h"

#include <QCoreApplication>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("MainWindow", text);
}

VersionCheck integrityRefused()
{
    VersionCheck check;
    check.logLine = QStringLiteral("invalid integrity info");
    check.errorText = tr("not contains update info");
    return check;
}

} // namespace

VersionCheck evaluateVersionReply(const QByteArray &body, qint64 appVersion)
{
    const VersionReply reply = parseVersionReply(body);
    VersionCheck check;
    switch (reply.outcome) {
    case VersionReply::InvalidJson:
        check.logLine = QStringLiteral("JSON format err");
        check.errorText = tr("can not parse response");
        break;
    case VersionReply::NullDocument:
        check.logLine = QStringLiteral("root is null");
        check.errorText = tr("response is null");
        break;
    case VersionReply::BadCode:
        check.errorText = tr("code is: ") + QString::number(reply.code);
        break;
    case VersionReply::NoData:
        check.errorText = tr("not contains data");
        break;
    case VersionReply::NoUpdateInfo:
        check.errorText = tr("not contains update info");
        break;
    case VersionReply::BadIntegrity:
        return integrityRefused();
    case VersionReply::UpdateInfo:
        check.answered = true;
        check.infoLines << tr("Your app version is: ") + QString::number(appVersion)
                        << tr("Latest app version is: ") + QString::number(reply.latestVersion);
        check.hasUpdate = appVersion < qint64(reply.latestVersion);
        if (!check.hasUpdate) {
            check.infoLines << tr("There are currently no updates");
            break;
        }
        if (!vendorPublicKeys().isEmpty() &&
            (reply.expectation.size < 0 || reply.expectation.sha256.isEmpty() ||
             reply.expectation.signature.isEmpty()))
            return integrityRefused();
        check.installerName = QStringLiteral("Glimmerpane") + QString::number(reply.latestVersion) +
                              QStringLiteral(".exe");
        check.updateAddress = reply.updateAddress;
        check.expectation = reply.expectation;
        check.infoLines << QStringLiteral("\n") << releaseNotesForDisplay(reply.updateLog);
        break;
    }
    return check;
}
