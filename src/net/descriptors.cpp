#include "descriptors.h"

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <climits>

void raiseDescriptorLimit()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

int freeDescriptors()
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 0;
    DIR *open = ::opendir("/proc/self/fd");
    if (!open)
        return 0;
    // Every entry but "." and ".." is a descriptor, the directory's own
    // among them, which is closed again before anything else is opened.
    long long count = -3;
    while (::readdir(open))
        ++count;
    ::closedir(open);
    const long long soft = limit.rlim_cur == RLIM_INFINITY ? INT_MAX : (long long)limit.rlim_cur;
    return int(std::clamp(soft - std::max(count, 0LL), 0LL, (long long)INT_MAX));
}
