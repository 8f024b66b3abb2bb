// The bytes a local peer sends, in pieces of sizes the input chooses: a message or a refusal,
// never more kept than the limit.
#include "singleinstance/messageframe.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    constexpr quint32 limit = 64 * 1024;
    const qsizetype piece = data[0] % 16 + 1;
    const QByteArrayView bytes(data + 1, qsizetype(size - 1));
    MessageFrame frame(limit);
    for (qsizetype at = 0; at < bytes.size() && frame.bytesWanted() > 0; at += piece) {
        const QByteArrayView chunk = bytes.sliced(at, qMin(piece, bytes.size() - at));
        if (frame.feed(chunk) > chunk.size())
            std::abort();
    }
    const bool refused = frame.state() == MessageFrame::State::Refused;
    if (refused !=
            (frame.state() != MessageFrame::State::WantLength && frame.announcedLength() > limit) ||
        frame.message().size() > qsizetype(limit))
        std::abort();
    return 0;
}
