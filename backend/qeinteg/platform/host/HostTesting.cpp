#include "qeinteg/platform/host/HostTesting.h"

namespace qehost::testing {

void ResetForTest(const std::string& /*tempRoot*/) {}

}  // namespace qehost::testing
