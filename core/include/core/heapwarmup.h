#pragma once

namespace tollvik {

// Call first thing in main(), before the application object: makes ready the memory that the
// start-up touches, so that it does not pay for it page by page (Linux with glibc; elsewhere it
// does nothing).
void warmUpHeap();

} // namespace tollvik
