// The look of every tool tip: dark ink in a pale box, readable wherever it opens. A style
// sheet reaches the tips of the widgets it covers: a rule without a selector (a bare
// "background: transparent") or a "QLabel" rule (the tip is a label too) would give the tip
// that background or text colour, and a transparent tip shows as a black box. So the
// program's sheet and every sheet of that kind end with this rule, which outranks them there.
#pragma once

inline constexpr const char* TOOL_TIP_STYLE =
    "QToolTip { color: rgb(17, 29, 54); background-color: rgb(255, 255, 225); border: 1px "
    "solid rgb(25, 25, 112); padding: 2px; font-family: Helvetica; font-size: 12px; }";
