#pragma once

// The process's descriptor limit: every student connection takes one descriptor.
namespace descriptorlimit {

// Raises the soft RLIMIT_NOFILE to the hard one; returns the soft limit in force afterwards
// (-1 when it cannot be read). The default soft limit of 1024 would hold a few rooms at most.
long raiseToHard();

} // namespace descriptorlimit
