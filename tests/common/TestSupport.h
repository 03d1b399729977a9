// Shared helpers for the unit tests.
#pragma once

#include <jni.h>

#include <string>

namespace qetest {

// The JNIEnv of the test's main thread (the JVM is started by the shared test main).
JNIEnv* MainEnv();

// A fresh, empty directory for the running test (removed when the test program ends).
const std::string& TestDir();

// Number of warnings the VM has printed so far (e.g. from -Xcheck:jni).
int JvmWarningCount();

// Writes `content` to `path`, creating or truncating it. Returns false on failure.
bool WriteFile(const std::string& path, const std::string& content);
// The whole content of `path`; empty when it cannot be read.
std::string ReadFile(const std::string& path);

// Sets (or, with value null, unsets) an environment variable for the life of the object.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string name_;
    bool hadValue_ = false;
    std::string oldValue_;
};

}  // namespace qetest
