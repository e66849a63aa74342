#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

#include <vector>

namespace droskal {

class Form1;
class PictureButton;

// One thing the user can do from the keyboard: its keys, its Polish label, what it does and
// when it does anything at all. The window's shortcuts, the key list and the README's table
// are all made from this one table, so they cannot disagree. Adding an action is one row.
struct Action {
    QList<QKeySequence> keys;
    QString label;
    void (*run)(Form1& form, int key);   // key: which of `keys` was pressed
    bool (*enabled)(const Form1& form);  // false: the key does nothing; null: always runs
    bool repeats = false;                // held down, the key runs again and again
    QString keysText = QString();        // shown instead of the keys' names when set
};

// The mouse's part, for the key list: what is done and what it does.
struct MouseAction {
    QString what;
    QString label;
};

const std::vector<Action>& Actions();
const std::vector<MouseAction>& MouseActions();

// The keys of an action as the key list names them ("Spacja", "Shift+→", "0 … 9").
QString KeysText(const Action& action);
// Both tables as a Markdown table, for the README.
QString KeysMarkdown();

// A navigation button showing its unavailable picture does nothing from the keyboard.
bool Available(const PictureButton* button);

}  // namespace droskal
