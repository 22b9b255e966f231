#pragma once

#include <QFile>

#include <cstdio>

// The most memory the process has held, read from /proc/self/status.
namespace processmemory {

// False under AddressSanitizer: there the process also holds the shadow of its
// memory and a quarantine of freed blocks (up to 256 MB), so a peak says nothing
// about what the program itself holds, and bounds on it are not checked.
#ifdef __SANITIZE_ADDRESS__
inline constexpr bool kPeakIsTheProgramsOwn = false;
#else
inline constexpr bool kPeakIsTheProgramsOwn = true;
#endif

// Starts the peak again from what the process holds now.
inline void resetPeak()
{
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// The peak since the start or the last resetPeak(), in kB; -1 when unknown.
inline qint64 peakKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

} // namespace processmemory
