#pragma once

// Makes GMime ready for use; cheap and safe to call any number of times from any thread.
void initGMime();
