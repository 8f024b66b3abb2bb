#include "update/versioncheck.h"

#include "update/releasenotes.h"
#include "core/releaseversion.h"
#include "update/vendorsignature.h"
#include "update/versionreply.h"

namespace {

VersionCheck refused(const QString &logLine)
{
    VersionCheck check;
    check.logLine = logLine;
    check.problem = VersionCheck::Problem::NoUpdateInfo;
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
        check.problem = VersionCheck::Problem::Unparsable;
        break;
    case VersionReply::NullDocument:
        check.logLine = QStringLiteral("root is null");
        check.problem = VersionCheck::Problem::NullResponse;
        break;
    case VersionReply::BadCode:
        check.problem = VersionCheck::Problem::ErrorCode;
        check.code = reply.code;
        break;
    case VersionReply::NoData:
        check.problem = VersionCheck::Problem::NoData;
        break;
    case VersionReply::NoUpdateInfo:
        check.problem = VersionCheck::Problem::NoUpdateInfo;
        break;
    case VersionReply::BadIntegrity:
        return integrityRefused();
    case VersionReply::UpdateInfo:
        check.answered = true;
        check.appVersion = appVersion;
        check.latestVersion = reply.latestVersion;
        check.hasUpdate = isNewer(reply, appVersion, installedVersion);
        if (!check.hasUpdate)
            break;
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
        check.releaseNotes = releaseNotesForDisplay(reply.updateLog);
        break;
    }
    return check;
}
