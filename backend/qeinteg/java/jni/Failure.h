// One record for every failed Java call, and one policy for reporting it.
//
// A call that leaves a Java exception pending is turned into a Failure at once: the exception is
// cleared (so no exception ever outlives the call that raised it), the record is written to the
// trace log, and it is handed to the caller, which keeps it as its last failure (what
// getLastFailure() shows). The operation then returns the status its contract gives (false, 0, an
// empty text or null). Nothing is printed to the standard streams.
#pragma once

#include <jni.h>

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qeinteg::jni {

// The Java member a call went to. The texts are string literals.
struct Member {
    const char* className = "";  // "com/keld/json/java/JSONObject"
    const char* name = "";       // "parse"; "<init>" for a constructor
    const char* signature = "";  // "(Ljava/lang/String;)Lcom/keld/json/java/JSONObject;"
};

struct Failure {
    std::string javaClass;       // class of the member called; empty when not a member call
    std::string method;          // member name
    std::string signature;       // member signature
    std::string exceptionClass;  // "java.lang.IllegalStateException"; empty for a failure of ours
    std::string message;         // the exception's message (else its text), or our own text
    std::string trace;           // the Java stack trace; empty for a failure of ours

    // One line for the log: "Class.method(signature): exceptionClass: message".
    std::string describe() const;
};

// Clears the pending Java exception and describes it as a call of `member`; nothing when no
// exception was pending.
std::optional<Failure> TakePendingException(JNIEnv* env, const Member& member);
// Describes a throwable that is no longer pending (its class, message and stack trace).
Failure DescribeThrowable(JNIEnv* env, jthrowable exception, const Member& member);
// A failure that is not a Java exception (no object to call, a member missing at start, ...).
Failure OwnFailure(const Member& member, std::string message);
// Writes the record to the trace log and counts it.
void Report(const Failure& failure);
// Failures reported so far in this process.
std::uint64_t ReportedFailureCount();

// Whoever makes calls: it supplies the thread's environment and keeps the failure records of its
// calls. Every Java-object wrapper is one.
template <typename C>
concept Caller = requires(C& caller, Failure&& failure) {
    { caller.getEnv() } -> std::convertible_to<JNIEnv*>;
    caller.keepFailure(std::move(failure));
};

// The one path a failure takes: reported, then kept by the caller.
template <Caller C>
void Fail(C& caller, Failure failure) {
    Report(failure);
    caller.keepFailure(std::move(failure));
}

// After a JNI call: when an exception is pending, makes it one failure record of `member` and
// returns true.
template <Caller C>
bool CheckException(C& caller, const Member& member) {
    JNIEnv* env = caller.getEnv();
    if (env == nullptr || !env->ExceptionCheck())
        return false;
    if (std::optional<Failure> failure = TakePendingException(env, member))
        Fail(caller, std::move(*failure));
    return true;
}

// Passes calls through to another caller and remembers whether any of them failed, for results
// where null (or 0, or false) is a legitimate answer too.
template <Caller C>
class FailureWatch {
  public:
    explicit FailureWatch(C& inner) : inner_(inner) {}
    JNIEnv* getEnv() const { return inner_.getEnv(); }
    void keepFailure(Failure&& failure) {
        failed_ = true;
        inner_.keepFailure(std::move(failure));
    }
    bool failed() const { return failed_; }

  private:
    C& inner_;
    bool failed_ = false;
};

// A caller for code that belongs to no wrapper (start-up, tests): keeps every record it is given.
class RecordingCaller {
  public:
    explicit RecordingCaller(JNIEnv* env) : env_(env) {}
    JNIEnv* getEnv() const { return env_; }
    void keepFailure(Failure&& failure) { failures_.push_back(std::move(failure)); }
    const std::vector<Failure>& failures() const { return failures_; }

  private:
    JNIEnv* env_;
    std::vector<Failure> failures_;
};

}  // namespace qeinteg::jni
