#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

// What a staging build lets the environment change, so that staging servers, the local demo
// service and the tests can stand in for the vendor's. Each variable is read, checked and warned
// about here alone; a release build (GLIMMERPANE_STAGING_OVERRIDES off) answers "no override" to
// every question. The environment is read at each call, since tests change it between cases.
namespace StagingOverrides {

// GLIMMERPANE_TIME_LIMIT_MS: a positive number of milliseconds that caps every time limit.
std::optional<int> timeLimitMs();
// GLIMMERPANE_VERSION_SERVICE: an https://HOST:PORT origin for the version request.
std::optional<QUrl> versionServiceOrigin();
// GLIMMERPANE_EXTRA_CA_CERTS: the contents of a readable PEM file of at most 1 MiB, whose
// certificates are trusted besides the system's.
std::optional<QByteArray> extraCaCertificates();
// GLIMMERPANE_UPDATE_PUBLIC_KEY: the vendor's keys in place of the built-in ones (empty: none).
std::optional<QByteArray> updatePublicKeys();
// GLIMMERPANE_PROXY_LOOPBACK=1: the system proxy settings apply to loopback hosts too.
bool proxyLoopback();
// GLIMMERPANE_SIMULATE_START_ERROR: 740 or 1223, a Windows error the installer's start answers.
std::optional<int> simulatedStartError();
// GLIMMERPANE_SIMULATE_FOLDER_OWNER=other: the shared update folder counts as another account's.
bool simulateForeignUpdateFolder();
// GLIMMERPANE_USER_RUNTIME_ROOT: a folder in place of /run/user, for the single-instance guard.
std::optional<QString> userRuntimeRoot();

} // namespace StagingOverrides
