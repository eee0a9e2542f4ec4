// The thumbnailer parses files nobody chose to open, so it confines itself first: with
// its input and output already open, it gives up every other use of the file system and
// all but the few system calls that reading, drawing and writing need.
#pragma once

// Builds with the sanitizers: their checks find out whether memory can be read by
// writing it into a pipe of their own, so there the sandbox lets pipes be made and any
// descriptor be written, and lets them ask for the signal stack and their ids.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSandboxForSanitizers = true;
#elif defined(__has_feature)
inline constexpr bool kSandboxForSanitizers = __has_feature(address_sanitizer);
#else
inline constexpr bool kSandboxForSanitizers = false;
#endif

// Which confinements the kernel took; the thumbnailer works the same without either.
struct SandboxLayers {
    // Landlock: no file can be opened, created, renamed, linked or removed anywhere.
    bool Files = false;
    // seccomp: only memory, reading, writing to output or standard error, and exit.
    bool SystemCalls = false;
};

// Confines the calling process for the rest of its life, irreversibly. Afterwards it may
// pread from the descriptors it has, write to and truncate output, write to standard
// error and to toWatchdog, read from fromWatchdog, allocate and free memory (never
// executable), close and end; every other system call fails with EPERM. A descriptor
// below 0 is none. Whatever the kernel lacks is left out without a word.
SandboxLayers EnterSandbox(int output, int toWatchdog = -1, int fromWatchdog = -1);
