#include "platform/CrashHandler.h"

#include "platform/Paths.h"

#include <csignal>
#include <cstring>
#include <ctime>
#include <exception>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace platform {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP, SIGSYS};
constexpr size_t kPathMax = 4096;

char g_directory[kPathMax];
long g_utcOffsetSeconds = 0;
char g_alternateStack[64 * 1024];

// A tiny writer over a fixed buffer: no allocation, no locale, no stdio.
struct Text {
    char data[kPathMax + 256];
    size_t size = 0;

    void Add(const char* s) {
        while (*s != '\0' && size + 1 < sizeof data) {
            data[size++] = *s++;
        }
        data[size] = '\0';
    }
    void AddNumber(unsigned long long value, int minDigits = 1, unsigned base = 10) {
        char digits[32];
        int n = 0;
        do {
            unsigned d = static_cast<unsigned>(value % base);
            digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
            value /= base;
        } while (value != 0 && n < 32);
        while (n < minDigits && n < 32) {
            digits[n++] = '0';
        }
        char out[33];
        for (int i = 0; i < n; ++i) {
            out[i] = digits[n - 1 - i];
        }
        out[n] = '\0';
        Add(out);
    }
};

void WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, data, size);
        if (n <= 0) {
            return;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
}

void WriteText(int fd, const Text& text) {
    WriteAll(fd, text.data, text.size);
}

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(long long z, int& year, unsigned& month, unsigned& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

const char* SignalName(int signal) {
    switch (signal) {
    case SIGSEGV:
        return "SIGSEGV (segmentation fault)";
    case SIGBUS:
        return "SIGBUS (bus error)";
    case SIGFPE:
        return "SIGFPE (arithmetic error)";
    case SIGILL:
        return "SIGILL (illegal instruction)";
    case SIGABRT:
        return "SIGABRT (abort, or an uncaught exception)";
    case SIGTRAP:
        return "SIGTRAP (trap)";
    case SIGSYS:
        return "SIGSYS (bad system call)";
    default:
        return "signal";
    }
}

void WriteReport(int signal, const siginfo_t* info) {
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    long long local = static_cast<long long>(now.tv_sec) + g_utcOffsetSeconds;
    long long days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    long long secs = local - days * 86400;
    int year;
    unsigned month, day;
    CivilFromDays(days, year, month, day);
    const long pid = static_cast<long>(::getpid());
    const long tid = static_cast<long>(::syscall(SYS_gettid));

    ::mkdir(g_directory, 0700);
    Text path;
    path.Add(g_directory);
    path.Add("/v1.0-");
    path.AddNumber(static_cast<unsigned long long>(year), 4);
    path.AddNumber(month, 2);
    path.AddNumber(day, 2);
    path.Add("-");
    path.AddNumber(static_cast<unsigned long long>(secs / 3600), 2);
    path.AddNumber(static_cast<unsigned long long>(secs / 60 % 60), 2);
    path.AddNumber(static_cast<unsigned long long>(secs % 60), 2);
    path.Add("-");
    path.AddNumber(static_cast<unsigned long long>(pid));
    path.Add("-");
    path.AddNumber(static_cast<unsigned long long>(tid));
    path.Add(".dmp");

    int fd = ::open(path.data, O_CREAT | O_TRUNC | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        return;
    }
    Text head;
    head.Add("Orvanta crash report\nsignal: ");
    head.AddNumber(static_cast<unsigned long long>(signal));
    head.Add(" ");
    head.Add(SignalName(signal));
    if (info != nullptr && info->si_code > 0) {
        head.Add("\nfault address: 0x");
        head.AddNumber(reinterpret_cast<unsigned long long>(info->si_addr), 1, 16);
    } else if (info != nullptr) {
        // Sent by kill() or raise(): there is no faulting address.
        head.Add("\nsent by process: ");
        head.AddNumber(static_cast<unsigned long long>(info->si_pid));
    }
    head.Add("\nprocess id: ");
    head.AddNumber(static_cast<unsigned long long>(pid));
    head.Add("\nthread id: ");
    head.AddNumber(static_cast<unsigned long long>(tid));
    head.Add("\n\nbacktrace:\n");
    WriteText(fd, head);

    void* frames[128];
    int count = ::backtrace(frames, 128);
    ::backtrace_symbols_fd(frames, count, fd);

    static const char kMaps[] = "\nmemory map:\n";
    WriteAll(fd, kMaps, sizeof kMaps - 1);
    int maps = ::open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps >= 0) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(maps, buffer, sizeof buffer)) > 0) {
            WriteAll(fd, buffer, static_cast<size_t>(n));
        }
        ::close(maps);
    }
    ::fsync(fd);
    ::close(fd);
}

volatile sig_atomic_t g_handling = 0;

void OnFatalSignal(int signal, siginfo_t* info, void*) {
    if (g_handling == 0) {
        g_handling = 1;
        WriteReport(signal, info);
    }
    // End the process the way the signal would have, without a second report.
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal, &action, nullptr);
    // The signal is blocked while its handler runs: let it through first.
    sigset_t unblock;
    sigemptyset(&unblock);
    sigaddset(&unblock, signal);
    ::pthread_sigmask(SIG_UNBLOCK, &unblock, nullptr);
    ::raise(signal);
    ::_exit(128 + signal);
}

} // namespace

std::string CrashDumpDirectory() {
    return TempDirectory() + "AppName";
}

void InstallCrashHandler() {
    std::string dir = CrashDumpDirectory();
    std::strncpy(g_directory, dir.c_str(), sizeof g_directory - 1);

    std::time_t now = std::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    g_utcOffsetSeconds = local.tm_gmtoff;

    // backtrace() loads its unwinder on first use, which may allocate: do it now.
    void* warmUp[4];
    ::backtrace(warmUp, 4);

    stack_t stack;
    stack.ss_sp = g_alternateStack;
    stack.ss_size = sizeof g_alternateStack;
    stack.ss_flags = 0;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signal : kFatalSignals) {
        ::sigaction(signal, &action, nullptr);
    }
    // An uncaught exception ends in abort(), which the SIGABRT handler reports.
    std::set_terminate([] { std::abort(); });
}

} // namespace platform
