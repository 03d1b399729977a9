// Test access to what the host process area recorded: break polls and the inter-process channel.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/platform/host/process/HostProcess.h"

namespace qehost {

// How many times ATNJMP was called, how many of those delivered a break, and the last handle given.
int AtnjmpCalls();
int AtnjmpBreaks();
WorkspaceHandle LastAtnjmpWorkspace();

// One IpcPutC call as recorded.
struct IpcRecord {
    int code = 0;
    int flag = 0;
    int length = 0;
    std::string bytes;  // the `length` bytes sent
    int last = 0;
    // The payload read as a double (0 when it is not 8 bytes long).
    double value() const;
};
std::vector<IpcRecord> IpcRecords();

}  // namespace qehost
