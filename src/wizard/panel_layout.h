// Layout of a row of buttons at the bottom of a window.
#pragma once

class QWidget;

namespace kelvaro {

// Lays out the panel's visible push and tool buttons (direct children) in
// one right-aligned row, in their left-to-right order: all take the height h
// of the right-most button and keep their widths; the margin round them and
// between them is h * 10 / 25 (10 for 25-pixel buttons) and the panel's
// height becomes h + 2 * margin. The row then stays at the panel's right and
// bottom edges when the panel is resized. Other children (labels, hidden
// buttons) are left where they are. Without a visible button nothing changes.
void ArrangePanelButtons(QWidget* panel);

}  // namespace kelvaro
