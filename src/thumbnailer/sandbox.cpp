#include "thumbnailer/sandbox.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <span>
#include <vector>

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Landlock's interface as the kernel defines it; Debian 12's headers know only its first
// two versions, and a kernel takes a larger structure as long as what it doesn't know is 0.
struct RulesetAttr {
    std::uint64_t HandledAccessFs = 0;
    std::uint64_t HandledAccessNet = 0;
    std::uint64_t Scoped = 0;
};
constexpr unsigned kCreateRulesetVersion = 1u << 0;
constexpr long kNewestKnownAbi = 7;

// Every right a version handles, so that a ruleset with no rule denies them all.
RulesetAttr EverythingOf(long abi)
{
    RulesetAttr attr;
    // Version 1: executing, writing, reading, listing, removing and making every kind of
    // file (bits 0 to 12); 2 adds moving between folders, 3 truncating by path, 5 device
    // ioctls on newly opened files.
    attr.HandledAccessFs = (std::uint64_t{1} << 13) - 1;
    if (abi >= 2)
        attr.HandledAccessFs |= std::uint64_t{1} << 13;
    if (abi >= 3)
        attr.HandledAccessFs |= std::uint64_t{1} << 14;
    if (abi >= 5)
        attr.HandledAccessFs |= std::uint64_t{1} << 15;
    // Version 4: binding and connecting TCP sockets; 6: abstract Unix sockets and signals
    // to processes outside the sandbox. Version 7 adds no right.
    if (abi >= 4)
        attr.HandledAccessNet = 0b11;
    if (abi >= 6)
        attr.Scoped = 0b11;
    return attr;
}

bool RestrictFiles()
{
#if defined(SYS_landlock_create_ruleset) && defined(SYS_landlock_restrict_self)
    const long abi = ::syscall(SYS_landlock_create_ruleset, nullptr, 0, kCreateRulesetVersion);
    if (abi < 1)
        return false; // no Landlock in this kernel, or it is turned off
    const RulesetAttr attr = EverythingOf(abi < kNewestKnownAbi ? abi : kNewestKnownAbi);
    const long ruleset = ::syscall(SYS_landlock_create_ruleset, &attr, sizeof attr, 0);
    if (ruleset < 0)
        return false;
    const bool restricted = ::syscall(SYS_landlock_restrict_self, ruleset, 0) == 0;
    ::close(static_cast<int>(ruleset));
    return restricted;
#else
    return false;
#endif
}

// The architecture whose system call numbers <sys/syscall.h> gives; the filter lets no
// call of another through (a 64-bit kernel runs 32-bit calls too).
#if defined(__x86_64__) && defined(__LP64__)
constexpr std::uint32_t kArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__i386__)
constexpr std::uint32_t kArchitecture = AUDIT_ARCH_I386;
#elif defined(__aarch64__)
constexpr std::uint32_t kArchitecture = AUDIT_ARCH_AARCH64;
#elif defined(__arm__) && defined(__ARM_EABI__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr std::uint32_t kArchitecture = AUDIT_ARCH_ARM;
#elif defined(__riscv) && __riscv_xlen == 64
constexpr std::uint32_t kArchitecture = AUDIT_ARCH_RISCV64;
#elif defined(__powerpc64__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr std::uint32_t kArchitecture = AUDIT_ARCH_PPC64LE;
#else
constexpr std::uint32_t kArchitecture = 0; // not known here: no filter
#endif

constexpr sock_filter Statement(std::uint16_t code, std::uint32_t value)
{
    return BPF_STMT(code, value);
}

// Not constexpr: a jump that needs it can't be made at compile time, where the filter is
// built once (kFilterBuilds) for exactly this check.
[[noreturn]] void JumpTooFar()
{
    std::abort();
}

// Classic BPF jumps forward by at most 255 instructions.
constexpr std::uint8_t Offset(std::size_t instructions)
{
    if (instructions > UINT8_MAX)
        JumpTooFar();
    return static_cast<std::uint8_t>(instructions);
}

constexpr sock_filter Jump(std::uint16_t test, std::uint32_t value, std::size_t ifTrue, std::size_t ifFalse)
{
    return BPF_JUMP(BPF_JMP | test | BPF_K, value, Offset(ifTrue), Offset(ifFalse));
}

constexpr sock_filter kAllow = Statement(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
constexpr sock_filter kDeny = Statement(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM);

using Program = std::vector<sock_filter>;

constexpr Program operator+(Program a, const Program& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// File descriptors and protections are ints: the argument's low 32 bits are all of it.
constexpr sock_filter LoadLowHalf(int argument)
{
    const bool bigEndian = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
    return Statement(BPF_LD | BPF_W | BPF_ABS,
                     static_cast<std::uint32_t>(offsetof(seccomp_data, args) + 8 * argument + (bigEndian ? 4 : 0)));
}

// One allowed call and the test of its arguments, which ends in allow or deny.
struct Rule {
    long Call;
    Program Test{kAllow};
};

// The descriptors given (those below 0 stand for none) as the only allowed values.
constexpr Rule WithArgument(long call, int argument, std::initializer_list<int> values)
{
    Rule rule{call, {LoadLowHalf(argument)}};
    for (const int value : values)
        if (value >= 0)
            rule.Test = rule.Test + Program{Jump(BPF_JEQ, static_cast<std::uint32_t>(value), 0, 1), kAllow};
    rule.Test.push_back(kDeny);
    return rule;
}

constexpr Rule WithoutBits(long call, int argument, std::uint32_t bits)
{
    return {call, {LoadLowHalf(argument), Jump(BPF_JSET, bits, 1, 0), kAllow, kDeny}};
}

// The rules, sorted by call number, searched by halves with the number in the
// accumulator: a few instructions per call, for the calls made and for the kernel, which
// runs the filter for every call number as it loads it.
constexpr Program Search(std::span<const Rule> rules)
{
    if (rules.size() == 1)
        return Program{Jump(BPF_JEQ, static_cast<std::uint32_t>(rules[0].Call), 0, rules[0].Test.size())}
            + rules[0].Test + Program{kDeny};
    const std::size_t half = rules.size() / 2;
    const Program below = Search(rules.first(half));
    return Program{Jump(BPF_JGE, static_cast<std::uint32_t>(rules[half].Call), below.size(), 0)} + below
        + Search(rules.subspan(half));
}

// The calls a thumbnail was measured to make once INPUT is open (strace -f over the test
// files, the fuzzing corpus and vistrel --thumbnail, both with OUTPUT made by the client
// and by this run): pread64, brk, mmap, munmap, ftruncate, write, close and exit_group,
// and read from the watchdog. mremap is the allocator's too, and rt_sigreturn ends any
// signal handler. Empty where the architecture is not known here.
constexpr Program Filter(int output, int toWatchdog, int fromWatchdog)
{
    if (kArchitecture == 0)
        return {};
    std::vector<Rule> rules;
    for (const long call : {SYS_pread64, SYS_brk, SYS_munmap, SYS_mremap, SYS_close, SYS_exit_group, SYS_rt_sigreturn})
        rules.push_back({call});
    // Memory for the allocator, but none that could run code. Where there is mmap2, mmap
    // is the old call that takes its arguments from memory, which the filter can't see.
#ifdef SYS_mmap2
    rules.push_back(WithoutBits(SYS_mmap2, 2, PROT_EXEC));
#else
    rules.push_back(WithoutBits(SYS_mmap, 2, PROT_EXEC));
#endif
    if (kSandboxForSanitizers) {
        // Besides their pipe, they look at the signal stack before every noreturn call.
        for (const long call : {SYS_pipe2, SYS_write, SYS_sigaltstack, SYS_getpid, SYS_gettid})
            rules.push_back({call});
    } else {
        rules.push_back(WithArgument(SYS_write, 0, {output, STDERR_FILENO, toWatchdog}));
    }
    if (fromWatchdog >= 0)
        rules.push_back(WithArgument(SYS_read, 0, {fromWatchdog}));
    rules.push_back(WithArgument(SYS_ftruncate, 0, {output}));
#ifdef SYS_ftruncate64
    rules.push_back(WithArgument(SYS_ftruncate64, 0, {output}));
#endif
    std::sort(rules.begin(), rules.end(), [](const Rule& a, const Rule& b) { return a.Call < b.Call; });

    Program program{Statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
                    Jump(BPF_JEQ, kArchitecture, 1, 0), kDeny,
                    Statement(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr))};
#if defined(__x86_64__)
    // The x32 calls share the architecture and set this bit.
    program = program + Program{Jump(BPF_JGE, 0x40000000u, 0, 1), kDeny};
#endif
    return program + Search(rules);
}

// The descriptors only change the values compared, so building it here with all of them
// checks every jump the running program's filter makes: a filter grown too long for them
// doesn't compile.
constexpr bool kFilterBuilds = Filter(STDERR_FILENO + 1, STDERR_FILENO + 2, STDERR_FILENO + 3).size() <= BPF_MAXINSNS;
static_assert(kFilterBuilds);

bool FilterSystemCalls(int output, int toWatchdog, int fromWatchdog)
{
    Program program = Filter(output, toWatchdog, fromWatchdog);
    if (program.empty())
        return false;
    const sock_fprog filter{static_cast<unsigned short>(program.size()), program.data()};
    return ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter, 0, 0) == 0;
}

} // namespace

SandboxLayers EnterSandbox(int output, int toWatchdog, int fromWatchdog)
{
    // Both layers need it, and it keeps anything run later from gaining privileges.
    if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return {};
    SandboxLayers layers;
    layers.Files = RestrictFiles();
    layers.SystemCalls = FilterSystemCalls(output, toWatchdog, fromWatchdog);
    return layers;
}
