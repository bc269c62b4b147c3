#include "access/DeviceAccess.h"

#include <unistd.h>

#include <cerrno>

namespace pelorin {

bool DeviceAccess::mayHelpWith(int openError) const {
    return (openError == EACCES || openError == EPERM) && ::geteuid() != 0;
}

}  // namespace pelorin
