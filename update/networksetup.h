#pragma once

class QNetworkAccessManager;

// Prepares Qt Network before the first request: the plain Unix event loop for the threads it
// starts (Linux), the system proxy settings and, where the build allows it, extra trusted CA
// certificates from the PEM file named by GLIMMERPANE_EXTRA_CA_CERTS (staging servers, the local
// demo service, tests).
// Does its work once a run, however often it is called.
void setUpNetwork();

// Staging builds with GLIMMERPANE_PROXY_LOOPBACK=1 only: the manager takes the system proxy
// settings for loopback hosts too, so that tests and staging runs can put a proxy on 127.0.0.1
// in front of a local server. Elsewhere the manager keeps Qt's application-wide choice.
void setUpProxyOverride(QNetworkAccessManager *manager);
