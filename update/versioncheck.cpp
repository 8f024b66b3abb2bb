#include "update/versioncheck.h"

#include "update/releasenotes.h"
#include "update/vendorsignature.h"
#include "update/versionreply.h"

namespace {

VersionCheck integrityRefused()
{
    VersionCheck check;
    check.logLine = QStringLiteral("invalid integrity info");
    check.errorText = VersionCheck::tr("not contains update info");
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
        check.errorText = VersionCheck::tr("can not parse response");
        break;
    case VersionReply::NullDocument:
        check.logLine = QStringLiteral("root is null");
        check.errorText = VersionCheck::tr("response is null");
        break;
    case VersionReply::BadCode:
        check.errorText = VersionCheck::tr("code is: %1").arg(reply.code);
        break;
    case VersionReply::NoData:
        check.errorText = VersionCheck::tr("not contains data");
        break;
    case VersionReply::NoUpdateInfo:
        check.errorText = VersionCheck::tr("not contains update info");
        break;
    case VersionReply::BadIntegrity:
        return integrityRefused();
    case VersionReply::UpdateInfo:
        check.answered = true;
        check.infoLines << VersionCheck::tr("Your app version is: %1").arg(appVersion)
                        << VersionCheck::tr("Latest app version is: %1").arg(reply.latestVersion);
        check.hasUpdate = appVersion < qint64(reply.latestVersion);
        if (!check.hasUpdate) {
            check.infoLines << VersionCheck::tr("There are currently no updates");
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
