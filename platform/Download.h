#pragma once

// Downloading one web address into a local file. It blocks the calling thread, so it belongs on a
// worker thread; it never waits longer than the time-out.

#include <QString>

namespace platform {

// True when the server answered with success and the whole body is in the file. A missing page,
// a refused connection or a time-out leave no file behind.
bool downloadToFile(const QString& url, const QString& localPath, int timeoutMs = 15000);

} // namespace platform
