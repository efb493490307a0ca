#include "core/crash_record.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <limits>

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];

const char g_dumpPrefix[] = "orl.bin";
struct sigaction g_previous[kSignalCount];
bool g_installed = false;
// The time zone's offsets from UTC: the one in force at installation and the changes of the next
// three years, each from its first second on. Made before any fault, read by the handler alone.
struct OffsetChange {
    std::time_t from;
    long offset;
};
constexpr int kMaxOffsetChanges = 16;
OffsetChange g_offsetChanges[kMaxOffsetChanges];
int g_offsetChangeCount = 0;

long OffsetAt(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return local.tm_gmtoff;
}

void TakeOffsetChanges(std::time_t start) {
    constexpr std::time_t kDay = 86400;
    long current = OffsetAt(start);
    g_offsetChanges[0] = {std::numeric_limits<std::time_t>::min(), current};
    g_offsetChangeCount = 1;
    for (std::time_t before = start, day = 1; day <= 3 * 366 && g_offsetChangeCount < kMaxOffsetChanges;
         ++day) {
        std::time_t after = start + day * kDay;
        long offset = OffsetAt(after);
        if (offset != current) {
            // The change lies after before and at or before after: narrowed to its second.
            std::time_t low = before, high = after;
            while (high - low > 1) {
                std::time_t middle = low + (high - low) / 2;
                (OffsetAt(middle) == current ? low : high) = middle;
            }
            g_offsetChanges[g_offsetChangeCount++] = {high, offset};
            current = offset;
        }
        before = after;
    }
}
alignas(16) char g_alternateStack[64 * 1024];

// A small fixed buffer written out in pieces: everything here must be safe inside a signal handler, so
// no allocation, no stdio and no locale.
struct Writer {
    int fd;
    bool ok = true;
    void Text(const char* text) { Bytes(text, strlen(text)); }
    void Bytes(const char* data, size_t size) {
        while (ok && size > 0) {
            ssize_t n = ::write(fd, data, size);
            if (n <= 0) {
                ok = false;
                return;
            }
            data += n;
            size -= static_cast<size_t>(n);
        }
    }
    void Decimal(long long value) {
        char digits[24];
        int at = sizeof digits;
        bool negative = value < 0;
        unsigned long long magnitude = negative ? 0ull - static_cast<unsigned long long>(value) : value;
        do {
            digits[--at] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (negative) digits[--at] = '-';
        Bytes(digits + at, sizeof digits - at);
    }
    void Hex(unsigned long long value) {
        char digits[18];
        int at = sizeof digits;
        do {
            digits[--at] = "0123456789abcdef"[value & 15];
            value >>= 4;
        } while (value != 0);
        digits[--at] = 'x';
        digits[--at] = '0';
        Bytes(digits + at, sizeof digits - at);
    }
};

const char* SignalName(int signal) {
    switch (signal) {
        case SIGSEGV:
            return "SIGSEGV";
        case SIGBUS:
            return "SIGBUS";
        case SIGILL:
            return "SIGILL";
        case SIGFPE:
            return "SIGFPE";
        case SIGABRT:
            return "SIGABRT";
        default:
            return "signal";
    }
}

// Local date and time from the clock and the offset taken at installation (localtime is not safe in a
// signal handler).
std::tm LocalNow() {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    long long seconds = now.tv_sec + CrashUtcOffsetAt(now.tv_sec);
    long long days = seconds / 86400;
    long long rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    // Civil date from days since 1970-01-01.
    long long z = days + 719468;
    long long era = (z >= 0 ? z : z - 146096) / 146097;
    long long doe = z - era * 146097;
    long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    long long mp = (5 * doy + 2) / 153;
    long long day = doy - (153 * mp + 2) / 5 + 1;
    long long month = mp < 10 ? mp + 3 : mp - 9;
    long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    std::tm local{};
    local.tm_year = static_cast<int>(year - 1900);
    local.tm_mon = static_cast<int>(month - 1);
    local.tm_mday = static_cast<int>(day);
    local.tm_hour = static_cast<int>(rest / 3600);
    local.tm_min = static_cast<int>(rest / 60 % 60);
    local.tm_sec = static_cast<int>(rest % 60);
    return local;
}

void FormatName(const std::tm& local, char* out, size_t size) {
    size_t at = 0;
    auto put = [&](const char* text) {
        for (; *text != '\0' && at + 1 < size; ++text) out[at++] = *text;
    };
    auto number = [&](int value) {
        char digits[12];
        int n = 0;
        unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
        do {
            digits[n++] = static_cast<char>('0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        if (value < 0) put("-");
        while (n > 0 && at + 1 < size) out[at++] = digits[--n];
    };
    put(g_dumpPrefix);
    put(" ");
    number(local.tm_year + 1900);
    put("-");
    number(local.tm_mon + 1);
    put("-");
    number(local.tm_mday);
    put(" ");
    number(local.tm_hour);
    put("_");
    number(local.tm_min);
    put("_");
    number(local.tm_sec);
    put(".dmp");
    out[at] = '\0';
}

bool WriteRecord(int signal, siginfo_t* info) {
    char name[260];
    FormatName(LocalNow(), name, sizeof name);
    int fd = ::open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    Writer out{fd};
    out.Text("ORL crash record\nsignal: ");
    out.Decimal(signal);
    out.Text(" (");
    out.Text(SignalName(signal));
    out.Text(")\nfault address: ");
    out.Hex(reinterpret_cast<unsigned long long>(info != nullptr ? info->si_addr : nullptr));
    out.Text("\nthread: ");
    out.Decimal(static_cast<long long>(::syscall(SYS_gettid)));
    out.Text("\nprocess: ");
    out.Decimal(static_cast<long long>(::getpid()));
    out.Text("\n\nbacktrace (module(+offset) [address]):\n");
    void* frames[64];
    int count = backtrace(frames, 64);
    if (out.ok) backtrace_symbols_fd(frames, count, fd);
    out.Text("\nmemory map:\n");
    int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps >= 0) {
        char buffer[4096];
        ssize_t n;
        while (out.ok && (n = ::read(maps, buffer, sizeof buffer)) > 0)
            out.Bytes(buffer, static_cast<size_t>(n));
        ::close(maps);
    }
    bool closed = ::close(fd) == 0;
    return out.ok && closed;
}

void OnFault(int signal, siginfo_t* info, void*) {
    if (WriteRecord(signal, info)) ::_exit(128 + signal);
    // Not written: the previous disposition handles the signal. A fault re-raises itself when the
    // handler returns; the others are raised again.
    for (int i = 0; i < kSignalCount; ++i) {
        if (kSignals[i] == signal) ::sigaction(signal, &g_previous[i], nullptr);
    }
    if (signal == SIGABRT || signal == SIGFPE || (info != nullptr && info->si_code <= 0)) ::raise(signal);
}

}  // namespace

long CrashUtcOffsetAt(std::time_t t) {
    long offset = g_offsetChanges[0].offset;
    for (int i = 1; i < g_offsetChangeCount; ++i) {
        if (t >= g_offsetChanges[i].from) offset = g_offsetChanges[i].offset;
    }
    return offset;
}

std::string CrashRecordName(const std::tm& local) {
    char name[260];
    FormatName(local, name, sizeof name);
    return name;
}

int InstallCrashHandler() {
    if (g_installed) return 1;
    TakeOffsetChanges(std::time(nullptr));
    // The first backtrace loads the unwinder; do it now, not inside the handler.
    void* warmUp[1];
    backtrace(warmUp, 1);

    stack_t stack{};
    stack.ss_sp = g_alternateStack;
    stack.ss_size = sizeof g_alternateStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action {};
    action.sa_sigaction = OnFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &action, &g_previous[i]);
    g_installed = true;
    return 1;
}

int RemoveCrashHandler() {
    if (!g_installed) return 1;
    for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    g_installed = false;
    return 1;
}
