#include "qeinteg/java/jni/Failure.h"

#include <atomic>

#include "qeinteg/data/QEStatTracer.h"
#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

namespace qeinteg::jni {

namespace {

std::atomic<std::uint64_t> g_reported{0};

// Describing must never raise a failure of its own: every step clears what it raised and gives
// up quietly.
std::string CallText(JNIEnv* env, jobject receiver, const MethodHandle& method) {
    if (receiver == nullptr || !method.resolved())
        return {};
    LocalRef<jstring> text(
        env, static_cast<jstring>(env->CallObjectMethodA(receiver, method.id(), nullptr)));
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return {};
    }
    return qejni::JavaStringToUtf8(env, text.get());
}

std::string StackTrace(JNIEnv* env, const ThrowableBinding& t, jthrowable exception) {
    LocalRef<> writer(env, env->NewObjectA(t.stringWriter.get(), t.newStringWriter.id(), nullptr));
    if (env->ExceptionCheck() || !writer) {
        env->ExceptionClear();
        return {};
    }
    jvalue arg{};
    arg.l = writer.get();
    LocalRef<> printer(env, env->NewObjectA(t.printWriter.get(), t.newPrintWriter.id(), &arg));
    if (env->ExceptionCheck() || !printer) {
        env->ExceptionClear();
        return {};
    }
    arg.l = printer.get();
    env->CallVoidMethodA(exception, t.printStackTrace.id(), &arg);
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return {};
    }
    env->CallVoidMethodA(printer.get(), t.flush.id(), nullptr);
    if (env->ExceptionCheck()) {
        env->ExceptionClear();
        return {};
    }
    return CallText(env, writer.get(), t.writerText);
}

}  // namespace

std::string Failure::describe() const {
    std::string line;
    if (!javaClass.empty() || !method.empty())
        line = javaClass + "." + method + signature + ": ";
    if (!exceptionClass.empty())
        line += exceptionClass + ": ";
    return line + message;
}

std::optional<Failure> TakePendingException(JNIEnv* env, const Member& member) {
    if (env == nullptr || !env->ExceptionCheck())
        return std::nullopt;
    LocalRef<jthrowable> exception(env, env->ExceptionOccurred());
    env->ExceptionClear();
    return DescribeThrowable(env, exception.get(), member);
}

Failure DescribeThrowable(JNIEnv* env, jthrowable exception, const Member& member) {
    Failure failure = OwnFailure(member, std::string());
    const Classes* classes = Classes::Get();
    if (env != nullptr && classes != nullptr && exception != nullptr) {
        const ThrowableBinding& t = classes->throwable;
        LocalRef<> cls(env, env->CallObjectMethodA(exception, t.getClass.id(), nullptr));
        if (env->ExceptionCheck())
            env->ExceptionClear();
        failure.exceptionClass = CallText(env, cls.get(), t.getName);
        failure.message = CallText(env, exception, t.getMessage);
        if (failure.message.empty())
            failure.message = CallText(env, exception, t.toString);
        failure.trace = StackTrace(env, t, exception);
    }
    if (failure.message.empty())
        failure.message =
            failure.exceptionClass.empty() ? "Java exception" : failure.exceptionClass;
    return failure;
}

Failure OwnFailure(const Member& member, std::string message) {
    Failure failure;
    failure.javaClass = member.className != nullptr ? member.className : "";
    failure.method = member.name != nullptr ? member.name : "";
    failure.signature = member.signature != nullptr ? member.signature : "";
    failure.message = std::move(message);
    return failure;
}

void Report(const Failure& failure) {
    g_reported.fetch_add(1, std::memory_order_relaxed);
    std::string line = "Java failure: " + failure.describe();
    if (!failure.trace.empty())
        line += "\n" + failure.trace;
    WriteLog(line);
}

std::uint64_t ReportedFailureCount() {
    return g_reported.load(std::memory_order_relaxed);
}

}  // namespace qeinteg::jni
