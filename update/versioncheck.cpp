#include "update/versioncheck.h"

#include "update/releasenotes.h"
#include "update/releaseversion.h"
#include "update/vendorsignature.h"
#include "update/versionreply.h"

namespace {

VersionCheck refused(const QString &logLine)
{
    VersionCheck check;
    check.logLine = logLine;
    check.errorText = VersionCheck::tr("not contains update info");
    return check;
}

VersionCheck integrityRefused()
{
    return refused(QStringLiteral("invalid integrity info"));
}

bool isNewer(const VersionReply &reply, qint64 appVersion, const QString &installedVersion)
{
    if (!reply.expectation.versionText.isEmpty()) {
        if (const std::optional<int> order =
                compareVersions(installedVersion, reply.expectation.versionText))
            return *order < 0;
    }
    return appVersion < qint64(reply.latestVersion);
}

} // namespace

VersionCheck evaluateVersionReply(const QByteArray &body, qint64 appVersion,
                                  const QString &installedVersion)
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
        check.hasUpdate = isNewer(reply, appVersion, installedVersion);
        if (!check.hasUpdate) {
            check.infoLines << VersionCheck::tr("There are currently no updates");
            break;
        }
        if (!vendorPublicKeys().isEmpty()) {
            const InstallerExpectation &stated = reply.expectation;
            if (stated.size < 0 || stated.sha256.isEmpty() || stated.signature.isEmpty() ||
                stated.versionText.isEmpty())
                return integrityRefused();
            // Checked again before the download; here, so that no run offers what cannot install.
            if (!signedByVendor(stated))
                return refused(QStringLiteral("installer signature invalid"));
        }
        check.installerName = QStringLiteral("Glimmerpane") + QString::number(reply.latestVersion) +
                              QStringLiteral(".exe");
        check.updateAddress = reply.updateAddress;
        check.expectation = reply.expectation;
        check.infoLines << QStringLiteral("\n") << releaseNotesForDisplay(reply.updateLog);
        break;
    }
    return check;
}
