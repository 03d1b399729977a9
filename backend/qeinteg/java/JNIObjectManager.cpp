#include "qeinteg/java/JNIObjectManager.h"

#include <vector>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/java/JNIRefs.h"

class JNIObjectManager::Impl {
  public:
    JNIEnv* env = nullptr;
    std::vector<jobject> globalRefs;
    std::vector<JNIQelAccessor*> cleanList;
};

JNIObjectManager* JNIObjectManager::_this = nullptr;

JNIObjectManager::JNIObjectManager() : impl_(new Impl()) {
    reAttachJVM();
}

JNIObjectManager::~JNIObjectManager() {
    cleanJRef();
    delete impl_;
}

JNIObjectManager* JNIObjectManager::newManager() {
    releaseManager();
    _this = new JNIObjectManager();
    return _this;
}

JNIObjectManager* JNIObjectManager::getManager() {
    if (_this == nullptr)
        return newManager();
    return _this;
}

void JNIObjectManager::releaseManager() {
    delete _this;
    _this = nullptr;
}

JNIEnv* JNIObjectManager::getEnv() {
    return impl_->env;
}

void JNIObjectManager::reAttachJVM() {
    impl_->env = nullptr;
    impl_->env = qeinteg::jni::AttachCurrentThread();
}

jobject JNIObjectManager::createGlobalRef(jobject obj, bool track) {
    JNIEnv* env = impl_->env;
    if (env == nullptr || obj == nullptr)
        return nullptr;
    jobject global = env->NewGlobalRef(obj);
    if (track && global != nullptr)
        impl_->globalRefs.push_back(global);
    return global;
}

void JNIObjectManager::addtoCleanList(JNIQelAccessor* wrapper) {
    if (wrapper != nullptr)
        impl_->cleanList.push_back(wrapper);
}

void JNIObjectManager::cleanJRef() {
    // Swap the lists out first: a wrapper's destructor may register more clean-up.
    std::vector<jobject> refs;
    refs.swap(impl_->globalRefs);
    if (impl_->env != nullptr) {
        for (jobject ref : refs)
            impl_->env->DeleteGlobalRef(ref);
    }
    std::vector<JNIQelAccessor*> wrappers;
    wrappers.swap(impl_->cleanList);
    for (JNIQelAccessor* wrapper : wrappers)
        delete wrapper;
}

size_t JNIObjectManager::trackedGlobalRefCount() const {
    return impl_->globalRefs.size();
}

size_t JNIObjectManager::cleanListSize() const {
    return impl_->cleanList.size();
}
