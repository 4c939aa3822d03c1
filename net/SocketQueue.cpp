#include "net/SocketQueue.h"

#include <linux/sockios.h>
#include <sys/ioctl.h>

namespace socketqueue {

int unacknowledged(int handle)
{
    int bytes = 0;
    return handle >= 0 && ::ioctl(handle, SIOCOUTQ, &bytes) == 0 ? bytes : -1;
}

} // namespace socketqueue
