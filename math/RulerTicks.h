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
// `pixelEnd` with frame coordinates `valueStart` to `valueEnd`, for a
// ruler whose visible part is 0..visibleEnd. Each mark's value is the frame
// pixel whose cell holds it. Below 8 screen pixels per frame pixel: the two
// end marks (the frame's edges, valueStart and valueEnd), then the
// midpoints of the recursive halving, labelled while the halved span is
// over 100 pixels, down to spans of 7 pixels; spans wholly outside the
// visible part are not halved. From 8 screen pixels per frame pixel: a mark
// at the centre of every visible cell, labelled every 1, 2, 5, 10, ... cells
// so that labels lie 40 pixels apart or more. Marks are in drawing order and
// may lie outside the widget.
std::vector<RulerTick> RulerTicks(int pixelStart, int pixelEnd, int valueStart, int valueEnd,
                                  int visibleEnd = 1 << 30);
