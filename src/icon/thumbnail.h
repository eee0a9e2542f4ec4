// vistrel --thumbnail [-s SIZE] INPUT OUTPUT: the thumbnailer file managers run, unasked,
// on every executable a user downloads. It reads INPUT with bounded reads, loads no
// toolkit and needs no display, and writes nothing but OUTPUT, whole.
#pragma once

// argv[1] is "--thumbnail". Writes the first icon of INPUT as a PNG of at most SIZE x SIZE
// pixels (default 128) to OUTPUT through a temporary name beside it and a rename.
// Returns 0 when OUTPUT was written, 1 when INPUT holds no icon (OUTPUT is not created),
// 2 on a usage error or when INPUT can't be read or OUTPUT can't be written.
int RunThumbnailer(int argc, char* argv[]);
