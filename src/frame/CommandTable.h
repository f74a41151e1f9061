// The menu bar and the accelerator table as data: one row per menu item, in menu order.
#pragma once

#include <span>

class CMainFrame;

namespace ocu {

// What an update rule decides for one command.
struct CommandUi {
    bool enabled = true;
    bool checked = false;
};

struct CommandDef {
    int id;               // 0 marks a separator
    const char* menuPath; // "&File" or "&Options/Resolution"; empty for a command without a menu item
    const char* text;     // with its & mnemonic
    const char* shortcut; // the label shown after a tab, or empty
    void (*handler)(CMainFrame&);
    // Null: enabled whenever the command has a handler, never checked. A rule that checks gives the item
    // a plain check mark.
    CommandUi (*update)(const CMainFrame&);
    // The rule only enables and disables: the item is a plain command, shown without a check box.
    bool neverChecked = false;
};

struct AcceleratorDef {
    const char* keys; // in QKeySequence's portable text form
    int id;
};

std::span<const CommandDef> CommandTable();
std::span<const AcceleratorDef> AcceleratorTable();

// The row of a command, or null for a command that nothing handles (copy, paste, the pane commands).
const CommandDef* FindCommand(int id);

} // namespace ocu
