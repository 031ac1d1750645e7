#pragma once

namespace platform {

// Makes a write past the file size limit (ulimit -f) fail with EFBIG
// instead of ending the process with SIGXFSZ, so that a save that hits
// the limit reports its failure, keeps the old file and leaves the user's
// unsaved work in the program. Called once at program start.
void WritesFailPastFileSizeLimit();

}  // namespace platform
