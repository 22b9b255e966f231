#pragma once

#include <csignal>
#include <sys/resource.h>

// While this lives, no file this process writes can grow past `bytes`: a write
// beyond it fails with "File too large" (EFBIG), as a full disk fails a write
// with "No space left on device". Files already larger stay readable. Needs no
// privileges, unlike a small file system mounted for the test.
class FileSizeLimit final
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_active = ::getrlimit(RLIMIT_FSIZE, &m_old) == 0;
        m_handler = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of ending the process
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        m_active = m_active && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool isActive() const { return m_active; }

private:
    rlimit m_old = {};
    void (*m_handler)(int) = SIG_DFL;
    bool m_active = false;
};
