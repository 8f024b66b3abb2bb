#pragma once

// Off Windows, a write past the file size limit (ulimit -f) kills the process by SIGXFSZ unless
// the signal is ignored; ignored, the write comes back short and fails as a full disk does.
void ignoreFileSizeSignal();

// Once the update log is open: why the single-instance guard uses a folder of its own, if it
// does.
void logGuardFolderNote();
