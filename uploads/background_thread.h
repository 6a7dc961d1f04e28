#pragma once

namespace taperly {

// Lowers the calling thread below the window's and the recorder's: an
// upload, an MP3 or a journal written waits for a poll, never the reverse.
void run_in_background();

}  // namespace taperly
