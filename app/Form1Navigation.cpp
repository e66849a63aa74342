// Stepping one picture forward or backward and jumping to either end.
#include "app/Form1.h"

namespace droskal {

void Form1::ShowReadPicture() {
    if (chkGps->isChecked()) {
        ShowPos();
    } else {
        ShowPic();
    }
    pictureShown_ = true;
    if (onPictureShown) onPictureShown();
}

void Form1::UpEnd() {
    UnActiveUpCmd();
    ActiveDownCmd();
    state.playing = false;
}

void Form1::DownEnd() {
    UnActiveDownCmd();
    ActiveUpCmd();
    state.playing = false;
}

// Without an open recording there is nothing to read: the navigation handlers do nothing.

void Form1::cmdUp_Click() {
    if (state.playing || DeferredUntilLoopLeft([this] { cmdUp_Click(); })) return;
    if (!streamFile.isOpen()) return;
    if (!FindStartUp(1) || !FindPicStart(1) || !ReadFrame(1, *frameBuf)) {
        UpEnd();
        return;
    }
    ShowReadPicture();
    ActiveDownCmd();
}

void Form1::cmdDown_Click() {
    // Not guarded by playing: during a playback it steps back and the loop goes on from there.
    if (!streamFile.isOpen()) return;
    if (!FindStartDown(1) || !FindPicStart(1) || !ReadFrame(1, *frameBuf)) {
        DownEnd();
        return;
    }
    ShowReadPicture();
    ActiveUpCmd();
}

void Form1::cmdDownE_Click() {
    if (!streamFile.isOpen()) return;
    DownEnd();
    std::uint8_t first = 0;
    streamFile.readAt(1, first);  // reading goes on at byte 2; the zero window still finds
                                  // a start code that begins at byte 1
    if (!FindStartUp(1) || !FindPicStart(1) || !ReadFrame(1, *frameBuf)) {
        UpEnd();
        return;
    }
    ShowReadPicture();
}

void Form1::cmdUpE_Click() {
    if (!streamFile.isOpen()) return;
    UpEnd();
    state.picturePos = state.fileLength - 1;
    if (!FindStartDown(1) || !FindPicStart(1) || !ReadFrame(1, *frameBuf)) {
        DownEnd();
        return;
    }
    ShowReadPicture();
}

}  // namespace droskal
