// Decoding the picture in the frame buffer and drawing it into Pic1.
#include "app/Form1.h"
#include "decoder/PictureFormat.h"

namespace droskal {

bool Form1::ShowPic() {
    const PictureFormatInfo* info = FormatInfo(state.picFormat);
    if (info != nullptr && state.picBuf.size() == static_cast<std::size_t>(info->pixelCount) * 3) {
        // A picture that fails to decode is abandoned silently: the previous image stays.
        if (decoder.DecodePicture(*frameBuf, state.picFormat, state.picBuf.data())) {
            DrawPic(Pic1, info->width, info->height, state.picBuf, info->drawX, 0);
        }
    }
    Pic1->update();
    // Never the end of the stream: callers go on with the next picture.
    return true;
}

void Form1::DrawPic(PictureBox* target, int width, int height,
                    const std::vector<std::uint8_t>& buffer, int x, int y) {
    target->DrawDib(width, height, buffer.data(), x, y);
}

}  // namespace droskal
