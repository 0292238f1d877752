#pragma once

#include <QtGlobal>

#include <sys/resource.h>

namespace testsupport {

// The soft limit on this process's open descriptors, lowered for a scope;
// the hard limit stays, so peer processes started meanwhile can raise theirs.
struct SoftLimit final
{
    explicit SoftLimit(rlim_t soft)
    {
        ::getrlimit(RLIMIT_NOFILE, &saved);
        const rlimit lowered {soft, saved.rlim_max};
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~SoftLimit() { ::setrlimit(RLIMIT_NOFILE, &saved); }
    Q_DISABLE_COPY_MOVE(SoftLimit)
    rlimit saved {};
};

} // namespace testsupport
