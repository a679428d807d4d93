#include "support/FileSizeLimit.h"

#include <csignal>
#include <sys/resource.h>

FileSizeLimit::FileSizeLimit (std::uint64_t bytes)
{
    // Past the limit a write fails with EFBIG once SIGXFSZ no longer kills us.
    rlimit limit {};
    if (getrlimit (RLIMIT_FSIZE, &limit) != 0)
        return;

    previousLimit = limit.rlim_cur;
    previousHandler = std::signal (SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    active = setrlimit (RLIMIT_FSIZE, &limit) == 0;

    if (! active)
        std::signal (SIGXFSZ, previousHandler);
}

FileSizeLimit::~FileSizeLimit()
{
    if (! active)
        return;

    rlimit limit {};
    getrlimit (RLIMIT_FSIZE, &limit);
    limit.rlim_cur = previousLimit;
    setrlimit (RLIMIT_FSIZE, &limit);
    std::signal (SIGXFSZ, previousHandler);
}
