#include "window/versionreply.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <climits>
#include <cmath>

namespace {

// Truncates toward zero; a number beyond int gives INT_MIN, as the x86 conversion does,
// instead of undefined behaviour.
int truncatedCode(double value)
{
    if (!std::isfinite(value) || value <= double(INT_MIN) - 1.0 || value >= double(INT_MAX) + 1.0)
        return INT_MIN;
    return int(value);
}

} // namespace

VersionReply parseVersionReply(const QByteArray &body)
{
    VersionReply reply;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(body, &error);
    if (error.error != QJsonParseError::NoError) {
        reply.outcome = VersionReply::InvalidJson;
        return reply;
    }
    if (document.isNull()) {
        reply.outcome = VersionReply::NullDocument;
        return reply;
    }

    const QJsonObject root = document.object(); // an array gives an empty object
    const QJsonValue code = root.value(QStringLiteral("code"));
    reply.code = code.isDouble() ? truncatedCode(code.toDouble()) : -1;
    if (reply.code != 200) {
        reply.outcome = VersionReply::BadCode;
        return reply;
    }

    const QJsonValue dataValue = root.value(QStringLiteral("data"));
    if (!dataValue.isObject()) {
        reply.outcome = VersionReply::NoData;
        return reply;
    }
    const QJsonObject data = dataValue.toObject();
    const QString appVersionKey = QStringLiteral("appVersion");
    const QString updateAddressKey = QStringLiteral("updateAddress");
    const QString updateLogKey = QStringLiteral("updateLog");
    if (!data.contains(appVersionKey) || !data.contains(updateAddressKey) ||
        !data.contains(updateLogKey)) {
        reply.outcome = VersionReply::NoUpdateInfo;
        return reply;
    }

    reply.outcome = VersionReply::UpdateInfo;
    reply.latestVersion = data.value(appVersionKey).toString().toInt(nullptr, 10);
    reply.updateAddress = data.value(updateAddressKey).toString(QString());
    reply.updateLog = data.value(updateLogKey).toString(QString());
    return reply;
}
