#include "qeinteg/java/JNIQelAccessor.h"

#include "qeinteg/java/JNIObjectManager.h"
#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"

using qeinteg::jni::Classes;
using qeinteg::jni::LocalRef;

JNIQelAccessor::JNIQelAccessor() {
    setEnv(JNIObjectManager::getManager()->getEnv());
}

JNIQelAccessor::~JNIQelAccessor() = default;

JNIObjectManager* JNIQelAccessor::getJNIObjectManager() {
    return JNIObjectManager::getManager();
}

void JNIQelAccessor::RegisterForCleanUp(JNIQelAccessor* wrapper) {
    JNIObjectManager::getManager()->addtoCleanList(wrapper);
}

const Classes* JNIQelAccessor::bindings() {
    return qeinteg::jni::BindingsFor(*this);
}

std::string JNIQelAccessor::getString(jstring s) {
    std::string out;
    getString(s, out);
    return out;
}

void JNIQelAccessor::getString(jstring s, std::string& out) {
    out = qeinteg::jni::ToUtf8(getEnv(), s);
    checkException(false);
}

void JNIQelAccessor::trackLocalRef(jobject ref) {
    if (ref != nullptr)
        localRefs_.emplace_back(getEnv(), ref);
}

void JNIQelAccessor::holdObject(jobject object) {
    held_ = qeinteg::jni::GlobalRef(getEnv(), object);
    setObject(held_.get());
}

void JNIQelAccessor::setObjectG(jobject obj, bool global, bool track) {
    jobject wrapped = obj;
    if (global) {
        wrapped = getJNIObjectManager()->createGlobalRef(obj, track);
    } else if (track) {
        trackLocalRef(obj);
    }
    setObject(wrapped);
}

jobject JNIQelAccessor::finishNewObject(jobject local, bool global, bool track) {
    if (local == nullptr)
        return nullptr;
    LocalRef<jobject> owned(getEnv(), local);
    jobject result = global ? getJNIObjectManager()->createGlobalRef(local, track) : local;
    if (track)
        trackLocalRef(owned.release());
    else if (!global)
        owned.release();  // the caller's local reference now
    return result;
}

jobject JNIQelAccessor::newObject(int value, bool global, bool track) {
    const Classes* c = bindings();
    return c == nullptr ? nullptr
                        : finishNewObject(c->box.newInteger(*this, value).release(), global, track);
}

jobject JNIQelAccessor::newObject(long long value, bool global, bool track) {
    const Classes* c = bindings();
    return c == nullptr
               ? nullptr
               : finishNewObject(c->box.newLong(*this, static_cast<jlong>(value)).release(), global,
                                 track);
}

jobject JNIQelAccessor::newObject(double value, bool global, bool track) {
    const Classes* c = bindings();
    return c == nullptr ? nullptr
                        : finishNewObject(c->box.newDouble(*this, value).release(), global, track);
}

jobject JNIQelAccessor::newObject(bool value, bool global, bool track) {
    const Classes* c = bindings();
    return c == nullptr
               ? nullptr
               : finishNewObject(c->box.newBoolean(*this, value ? JNI_TRUE : JNI_FALSE).release(),
                                 global, track);
}

jobject JNIQelAccessor::newObject(const char* value, bool global, bool track) {
    if (value == nullptr)
        return nullptr;
    return finishNewObject(qeinteg::jni::NewString(*this, value).release(), global, track);
}

jobject JNIQelAccessor::newObject(const std::string& value, bool global, bool track) {
    return finishNewObject(qeinteg::jni::NewString(*this, value).release(), global, track);
}

void JNIQelAccessor::init(const char* className, bool global) {
    LocalRef<jclass> cls = qeinteg::jni::FindClassByName(*this, className);
    if (!cls)
        return;
    qeinteg::jni::Constructor<> create;
    if (!create.bind(getEnv(), cls.get(), {className, "<init>", "()V"}, false)) {
        qeinteg::jni::Fail(*this, qeinteg::jni::OwnFailure(
                                      create.member(), std::string("Java constructor not found: ") +
                                                           className + ".<init>()V"));
        return;
    }
    if (LocalRef<jobject> created = create(*this))
        setObjectG(created.release(), global, true);
}

void JNIQelAccessor::init(jobject obj, bool global) {
    if (getEnv() == nullptr || obj == nullptr)
        return;
    setObjectG(obj, global, true);
}
