#pragma once

#include <vector>

// One mark on a pixel ruler. `pos` is along the ruler in view pixels; a
// labelled mark shows `value` as text and has a long tick.
struct RulerTick {
    int pos;
    int value;
    bool labelled;
};

// The marks of a ruler whose frame span runs from pixel `pixelStart` to
// `pixelEnd` with frame coordinates `valueStart` to `valueEnd`: the two end
// marks, then the midpoints of the recursive halving, labelled while the
// halved span is over 100 pixels, down to spans of 7 pixels. Marks are in
// drawing order and may lie outside the widget.
std::vector<RulerTick> RulerTicks(int pixelStart, int pixelEnd, int valueStart, int valueEnd);
