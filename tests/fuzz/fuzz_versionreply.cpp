// A version reply body of any bytes: what the window would log, show and keep.
#include "update/versioncheck.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray body(reinterpret_cast<const char *>(data), qsizetype(size));
    const VersionCheck check = evaluateVersionReply(body, 108, QStringLiteral("1.0.8"));
    // Something offered always has a name and nothing but a whole digest; a refusal keeps none.
    if (check.hasUpdate != !check.installerName.isEmpty() ||
        check.answered == (check.problem != VersionCheck::Problem::None) ||
        (!check.expectation.sha256.isEmpty() && check.expectation.sha256.size() != 32))
        std::abort();
    return 0;
}
