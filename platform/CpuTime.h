// CPU time used so far (user + system), in seconds: by this process (all its threads), and by
// its children that have ended and been reaped. Stateless; any thread.
#pragma once

namespace platform {

double ProcessCpuSeconds();
double ReapedChildrenCpuSeconds();

}  // namespace platform
