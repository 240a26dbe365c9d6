#pragma once

// The size in pixels at which a frame of imgW x imgH is shown in a view of
// viewW x viewH at zoom 1: the frame's longer side takes the view's matching
// side. The other side may then exceed the view. Non-positive frame sizes
// give 0 x 0.
void FitSize(int viewW, int viewH, int imgW, int imgH, int* outW, int* outH);
