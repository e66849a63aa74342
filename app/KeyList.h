#pragma once

#include <QWidget>

namespace droskal {

// The key list (F1 or ?): every row of the action table and the mouse's actions, in Polish.
// A window of its own, owned by `owner`; F1 or Esc closes it.
QWidget* MakeKeyList(QWidget* owner);

}  // namespace droskal
