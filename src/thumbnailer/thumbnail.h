// The thumbnailer file managers run, unasked, on every executable a user downloads:
// vistrel-thumbnailer [-s SIZE] INPUT OUTPUT, and the same as vistrel --thumbnail. It
// reads INPUT with bounded reads, loads no toolkit and needs no display, and writes
// nothing but OUTPUT, whole.
#pragma once

// argv holds the arguments after the command, command names it in the usage. Writes the
// first icon of INPUT as a PNG of at most SIZE x SIZE pixels (default 128) to OUTPUT
// through a temporary name beside it and a rename. Returns 0 when OUTPUT was written, 1
// when INPUT holds no icon (OUTPUT is not created), 2 on a usage error or when INPUT
// can't be read or OUTPUT can't be written.
int RunThumbnailer(const char* command, int argc, char* argv[]);
