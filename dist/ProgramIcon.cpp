#include "dist/ProgramIcon.h"

// Outside the namespace: the macro declares the resource's global initialiser.
static void InitProgramIcon() {
    Q_INIT_RESOURCE(program_icon);
}

namespace droskal {

QIcon ProgramIcon() {
    InitProgramIcon();
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/droskal/icons/%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace droskal
