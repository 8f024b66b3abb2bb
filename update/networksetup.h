#pragma once

// Prepares Qt Network before the first request: the plain Unix event loop for the threads it
// starts (Linux), the system proxy settings and, where the build allows it, extra trusted CA
// certificates from the PEM file named by GLIMMERPANE_EXTRA_CA_CERTS (staging servers, the local
// demo service, tests).
void setUpNetwork();
