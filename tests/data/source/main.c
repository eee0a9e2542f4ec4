/* The smallest program and library mingw-w64 links: only the resources matter. */
int start(void) { return 0; }
