// Writing to file descriptors, free of any toolkit so that the thumbnailer shares it.
#pragma once

#include <cstddef>

#include <sys/types.h>

// Writes all size bytes, going on after an interrupted or partial write; false on error.
bool WriteAll(int fd, const void* data, std::size_t size);

// The permissions a new file gets, as any program's: read and write for everyone, less
// what the umask takes away.
mode_t NewFileMode();
