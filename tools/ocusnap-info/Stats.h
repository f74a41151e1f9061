// ocusnap-info --stats: the exposure and focus figures of a few frames, as the viewer's Histogram window
// shows them, for scripts and for checking a camera's set-up where no window can be opened.
#pragma once

// Opens camera 1, takes `frames` single frames of its whole mode-0 image and prints for each the mean and
// the shares at 0 and 255 of every Bayer channel and a line "sharpness S". The exit status: 0, or 1 when
// a step failed.
int PrintFrameStats(int frames);
