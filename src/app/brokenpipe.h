#pragma once

// Makes a write to a pipe or socket whose reader has gone fail with EPIPE
// instead of killing the process with SIGPIPE. A tool that writes captures
// and saved text wherever the user points it, named pipes included, must
// see such a write fail like any other. Safe to call more than once.
void ignoreBrokenPipe();
