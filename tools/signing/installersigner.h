#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

// The vendor's side of installer integrity: an Ed25519 key pair (libsodium's form) and the
// members "size", "sha256" and "signature" that the version reply states for an installer, with
// "version" and "appVersion" for the version it is offered as. The signature is made over the
// release statement (core/releasestatement.h), which names that version.
class InstallerSigner
{
public:
    // A fresh key pair.
    InstallerSigner();
    // The key pair of a secret key file (standard base64 of libsodium's 64-byte secret key).
    static std::optional<InstallerSigner> fromFile(const QString &path, QString *error);

    // Writes the secret key to a new file readable by its owner only; never overwrites.
    bool writeSecretKey(const QString &path, QString *error) const;
    // Standard base64 of the 32-byte public key: the form GLIMMERPANE_UPDATE_PUBLIC_KEY takes.
    QByteArray publicKeyBase64() const;
    // The statement's layouts: the dotted version (current), or the digits alone (the first).
    enum class Layout { Dotted, Digits };
    // The members for the installer file offered as `version`: in the dotted layout "version"
    // ("1.0.10"), "appVersion" (its digits) and the three integrity members; in the digits
    // layout, for replies without "version", the three alone. Nothing when the file cannot be
    // read or the version does not fit the layout.
    std::optional<QJsonObject> integrityMembers(const QString &installerPath,
                                                const QString &version, QString *error,
                                                Layout layout = Layout::Dotted) const;

private:
    QByteArray secretKey; // 64 bytes, the public key in its second half
};
