// Prints the key table of the README from the window's action table:
//   build/test/app/droskal-keys > table.md
#include <cstdio>

#include "app/Actions.h"

int main() {
    std::fputs(droskal::KeysMarkdown().toUtf8().constData(), stdout);
    return 0;
}
