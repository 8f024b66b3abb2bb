#include "update/versionreply.h"

#include "core/releaseversion.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QRegularExpression>

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

// Reads the optional integrity members into `expectation`; false when one is present but
// malformed.
bool readExpectation(const QJsonObject &data, InstallerExpectation *expectation)
{
    const QJsonValue size = data.value(QStringLiteral("size"));
    if (!size.isUndefined()) {
        const double bytes = size.toDouble(-1);
        // Whole, non-negative, and exact in a double.
        if (!size.isDouble() || bytes < 0 || bytes != std::floor(bytes) || bytes > 9.0e15)
            return false;
        expectation->size = qint64(bytes);
    }
    const QJsonValue sha256 = data.value(QStringLiteral("sha256"));
    if (!sha256.isUndefined()) {
        const QString hex = sha256.toString();
        // Anchored at the very end: "$" alone would also let a trailing newline through.
        static const QRegularExpression hexDigits(
            QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f]{64}")));
        if (!sha256.isString() || !hexDigits.match(hex).hasMatch())
            return false;
        expectation->sha256 = QByteArray::fromHex(hex.toLatin1());
    }
    const QJsonValue signature = data.value(QStringLiteral("signature"));
    if (!signature.isUndefined()) {
        const auto decoded = QByteArray::fromBase64Encoding(
            signature.toString().toLatin1(),
            QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
        if (!signature.isString() || !decoded || decoded.decoded.size() != 64)
            return false;
        expectation->signature = decoded.decoded;
    }
    return true;
}

// The release's dotted version, which orders where the digits do not; false when it is present
// but malformed, or names other digits than "appVersion".
bool readDottedVersion(const QJsonObject &data, InstallerExpectation *expectation)
{
    const QJsonValue version = data.value(QStringLiteral("version"));
    if (version.isUndefined())
        return true;
    const QString text = version.toString();
    if (!version.isString() || !isReleaseVersion(text) ||
        versionDigits(text) != data.value(QStringLiteral("appVersion")).toString())
        return false;
    expectation->versionText = text;
    return true;
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

    if (!readExpectation(data, &reply.expectation) ||
        !readDottedVersion(data, &reply.expectation)) {
        reply.outcome = VersionReply::BadIntegrity;
        return reply;
    }
    reply.outcome = VersionReply::UpdateInfo;
    reply.latestVersion = data.value(appVersionKey).toString().toInt(nullptr, 10);
    reply.expectation.version = reply.latestVersion;
    reply.updateAddress = data.value(updateAddressKey).toString(QString());
    reply.updateLog = data.value(updateLogKey).toString(QString());
    return reply;
}
