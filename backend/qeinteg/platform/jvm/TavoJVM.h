// The host's Java launcher: one in-process Java VM for the whole process.
//
// The VM is created on the first StartJVMAndAttachThread() and lives until the process ends. Its
// class path holds the engine's Java classes: QEINTEG_CLASSPATH when set, else the jar under
// share/qeinteg/ beside the lib/ this library was loaded from (the build tree has the same layout)
// and the system's jackson-core jar. With that default class path the VM maps the class-data
// sharing archive the build wrote beside the jar (qeinteg-java.jsa) when it was made for exactly
// these jars; without one it starts as usual, only slower. QEINTEG_JVM_OPTIONS adds options
// separated by blanks (they come later and win, -Xshare:off included). All operations are
// thread-safe.
#pragma once

#include <jni.h>

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

class TavoJVM final {
  public:
    // Receives everything the VM prints (the VM's vfprintf hook), such as -Xcheck:jni warnings.
    using OutputHook = jint(JNICALL*)(FILE* stream, const char* format, va_list args);

    static TavoJVM& GetInstance();

    // True once the VM exists.
    bool IsStarted() const;
    // Waits for a start that another thread has begun; true when the VM exists afterwards.
    bool WaitForStartedJVM();
    // Creates the VM if needed and attaches the calling thread; true on success.
    bool StartJVMAndAttachThread(JNIEnv** env);
    // Attaches the calling thread (a no-op for a thread already attached); true on success.
    bool AttachCurrentThread(JNIEnv** env);
    // Detaches the calling thread. REQUIRES: the thread has no Java frames on its stack.
    void DetachCurrentThread();
    // The calling thread's environment when it is attached, else null. Never attaches.
    JNIEnv* GetEnvIfAttached() const;

    // Options and output hook used when the VM is created; no effect afterwards. Without a hook
    // the VM prints to standard error, never to standard output.
    void AddStartOption(const std::string& option);
    void SetOutputHook(OutputHook hook);

    // The class path the VM is (or will be) started with (see above).
    std::string ClassPath() const;
    // The class-data sharing archive the VM is (or will be) started with, or "" for none.
    std::string ClassArchive() const;
    // The archive beside `jar` (its name ending in .jsa instead of .jar) when it was made for
    // exactly `classPath` (the text in ARCHIVE.classpath) and no jar of it is newer; else "".
    // The VM rejects an archive made for other jars without a word and then shares nothing,
    // not even the JDK's own classes, so a doubtful archive is better left out.
    static std::string ClassArchiveFor(const std::string& jar, const std::string& classPath);
    // The VM options that map `archive` ("" for none: no options), at the address it was
    // written for when that address is free.
    static std::vector<std::string> ArchiveOptions(const std::string& archive);

  private:
    TavoJVM() = default;
    std::vector<std::string> StartOptions() const;

    mutable std::mutex mutex_;
    JavaVM* vm_ = nullptr;
    std::vector<std::string> extraOptions_;
    OutputHook hook_ = nullptr;
};
