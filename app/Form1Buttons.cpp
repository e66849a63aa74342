// Button state sets: the pictures tell the user what each navigation button does now.
// They change pictures only; every button keeps taking clicks.
#include "app/Form1.h"

namespace droskal {

void Form1::UnActiveCmd() {
    SetButtonPicture(cmdDownE, "DownEU");
    SetButtonPicture(cmdDownFFF, "DownFFFU");
    SetButtonPicture(cmdDownFF, "DownFFU");
    SetButtonPicture(cmdUpFF, "UpFFU");
    SetButtonPicture(cmdUpFFF, "UpFFFU");
    SetButtonPicture(cmdUpE, "UpEU");
    SetButtonPicture(cmdDownF, "DownFU");
    SetButtonPicture(cmdDown, "DownU");
    SetButtonPicture(cmdStop, "StopU");
    SetButtonPicture(cmdUp, "UpU");
    SetButtonPicture(cmdUpF, "UpFU");
    state.barEnabled = false;
}

void Form1::ActiveCmd() {
    SetButtonPicture(cmdDownE, "DownE");
    SetButtonPicture(cmdDownFFF, "DownFFF");
    SetButtonPicture(cmdDownFF, "DownFF");
    SetButtonPicture(cmdUpFF, "UpFF");
    SetButtonPicture(cmdUpFFF, "UpFFF");
    SetButtonPicture(cmdUpE, "UpE");
    SetButtonPicture(cmdDownF, "DownF");
    SetButtonPicture(cmdDown, "Down");
    SetButtonPicture(cmdStop, "Stop");
    SetButtonPicture(cmdUp, "Up");
    SetButtonPicture(cmdUpF, "UpF");
    state.barEnabled = true;
}

void Form1::ActiveUpCmd() {
    SetButtonPicture(cmdUpFF, "UpFF");
    SetButtonPicture(cmdUpFFF, "UpFFF");
    SetButtonPicture(cmdUpE, "UpE");
    SetButtonPicture(cmdUp, "Up");
    SetButtonPicture(cmdUpF, "UpF");
    state.barEnabled = true;
}

void Form1::UnActiveUpCmd() {
    SetButtonPicture(cmdUpFF, "UpFFU");
    SetButtonPicture(cmdUpFFF, "UpFFFU");
    SetButtonPicture(cmdUpE, "UpEU");
    SetButtonPicture(cmdStop, "StopU");
    SetButtonPicture(cmdUp, "UpU");
    SetButtonPicture(cmdUpF, "UpFU");
}

void Form1::ActiveDownCmd() {
    SetButtonPicture(cmdDownE, "DownE");
    SetButtonPicture(cmdDownFFF, "DownFFF");
    SetButtonPicture(cmdDownFF, "DownFF");
    SetButtonPicture(cmdDownF, "DownF");
    SetButtonPicture(cmdDown, "Down");
    state.barEnabled = true;
}

void Form1::UnActiveDownCmd() {
    SetButtonPicture(cmdDownE, "DownEU");
    SetButtonPicture(cmdDownFFF, "DownFFFU");
    SetButtonPicture(cmdDownFF, "DownFFU");
    SetButtonPicture(cmdDownF, "DownFU");
    SetButtonPicture(cmdDown, "DownU");
    SetButtonPicture(cmdStop, "StopU");
}

}  // namespace droskal
