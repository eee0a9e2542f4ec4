// The thumbnailer file managers run, unasked, on every executable a user downloads:
// vistrel-thumbnailer [-s SIZE] INPUT OUTPUT, and the same as vistrel --thumbnail. It
// reads INPUT with bounded reads, loads no toolkit and needs no display, and parses
// INPUT only inside a sandbox that can touch no file but INPUT and OUTPUT.
#pragma once

// argv holds the arguments after the command, command names it in the usage. Writes the
// first icon of INPUT as a PNG of at most SIZE x SIZE pixels (default 128) to OUTPUT, in
// place: a file the client made keeps its mode and is only written once there is a
// picture; a new one gets 0666 less the umask. Anything but a regular file in OUTPUT's
// place, or a file of procfs, sysfs and the like, is left alone, looked at without being
// opened. Returns 0 when OUTPUT was written, 1 when INPUT holds no icon (OUTPUT is not
// created), 2 on a usage error or when INPUT can't be read or OUTPUT can't be written.
// An OUTPUT this run made is removed again on failure, also when the run or its process
// group is killed. When OUTPUT was there
// already, the calling process parses INPUT in the sandbox itself and ends with that
// status instead of returning.
int RunThumbnailer(const char* command, int argc, char* argv[]);
