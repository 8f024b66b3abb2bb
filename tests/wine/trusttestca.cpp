// Puts a PEM certificate into the machine's trusted root store, as an administrator of a staging
// machine would with "certutil -addstore Root". Run once in a test's Wine prefix, so that the
// updater trusts the test CA through the system store that schannel consults.
// usage: trusttestca <ca.pem>

#include <windows.h>

#include <wincrypt.h> // after windows.h, which it needs

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: trusttestca <ca.pem>\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::string pem{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    DWORD size = 0;
    if (pem.empty() ||
        !CryptStringToBinaryA(pem.data(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                              &size, nullptr, nullptr)) {
        std::fprintf(stderr, "no PEM certificate in %s\n", argv[1]);
        return 1;
    }
    std::vector<BYTE> der(size);
    CryptStringToBinaryA(pem.data(), DWORD(pem.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                         &size, nullptr, nullptr);
    HCERTSTORE root =
        CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"ROOT");
    const bool added =
        root && CertAddEncodedCertificateToStore(root, X509_ASN_ENCODING, der.data(), size,
                                                 CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    if (root)
        CertCloseStore(root, 0);
    if (!added) {
        std::fprintf(stderr, "cannot add the certificate: error %lu\n", GetLastError());
        return 1;
    }
    std::printf("trusted %s\n", argv[1]);
    return 0;
}
