#include "recording/Recording.h"

#include "decoder/PictureFormat.h"
#include "decoder/SequenceHeader.h"

namespace droskal {

RecordingStart CheckRecording(StreamFile& file) {
    RecordingStart start;
    std::uint8_t header[kFormatCheckBytes] = {};  // a short file leaves zeros
    for (std::uint8_t& b : header) {
        if (!file.readNext(b)) break;
    }
    start.sequenceHeader =
        header[0] == 0x00 && header[1] == 0x00 && header[2] == 0x01 && header[3] == 0xB3;
    start.picFormat = PictureFormatFromHeader(header);
    // Sequence header, intra and non-intra matrices at most; a peek leaves the read position.
    std::uint8_t sequenceHeader[12 + 64 + 64] = {};
    const std::int64_t got = file.peek(1, sizeof sequenceHeader, sequenceHeader);
    start.intraMatrix =
        IntraMatrixFromSequenceHeader(sequenceHeader, static_cast<std::size_t>(got > 0 ? got : 0));
    return start;
}

}  // namespace droskal
