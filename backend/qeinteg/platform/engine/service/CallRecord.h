// One call into the local engine, or one event it sent to a listener, as tests read them back.
#pragma once

#include <jni.h>

#include <string>
#include <thread>
#include <vector>

namespace qelocal {

struct CallRecord {
    // Serial number of the executor (1 for the first after a reset); 0 for service-level calls.
    int executor = 0;
    // An executor operation ("createExecutor", "prepare", "addInputContainer",
    // "addOutputContainer", "addInputIterator", "execute", "getOutputIterator", "cancel",
    // "release", "delete"), a listener event ("onInit", "onProgress", "onMessage", "onSuccess",
    // "onError", "onCancel") or a row pull summary ("rowsPulled").
    std::string operation;
    // The call's arguments as text: the job text for prepare, name and path of a container, name
    // and flags of an iterator, the event's arguments, the iterator name and row count of a pull.
    std::vector<std::string> args;
    JNIEnv* env = nullptr;
    std::thread::id thread;
};

}  // namespace qelocal
