#include "PortMonitor.h"

namespace ports {

bool TPortMonitor::Init(const QStringList& /*aConfig*/)
{
    return true;
}

} // namespace ports
