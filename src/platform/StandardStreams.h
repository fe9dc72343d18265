// The standard output and error of a command-line program as byte streams.
#pragma once

namespace kessmar::platform {

// Makes stdout and stderr pass bytes unchanged: on Windows they translate "\n" to "\r\n"
// otherwise, which doubles the "\r" of lines that already end in "\r\n" (CSV). Never throws.
void UseBinaryStandardStreams();

}  // namespace kessmar::platform
