#include "qeinteg/java/JNIObjectManager.h"

#include <memory>
#include <vector>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Failure.h"
#include "qeinteg/java/jni/Refs.h"

class JNIObjectManager::Impl {
  public:
    JNIEnv* env = nullptr;
    std::vector<qeinteg::jni::GlobalRef> globalRefs;
    std::vector<std::unique_ptr<JNIQelAccessor>> cleanList;
};

JNIObjectManager* JNIObjectManager::_this = nullptr;

JNIObjectManager::JNIObjectManager() : impl_(new Impl()) {
    reAttachJVM();
    std::string missing;
    if (impl_->env != nullptr && qeinteg::jni::Classes::Resolve(impl_->env, &missing) == nullptr) {
        qeinteg::jni::Report(qeinteg::jni::OwnFailure({}, "Java start failed: " + missing));
    }
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
    if (impl_->env == nullptr || obj == nullptr)
        return nullptr;
    qeinteg::jni::GlobalRef global(impl_->env, obj);
    if (!track)
        return global.release();  // the caller's to delete
    jobject ref = global.get();
    impl_->globalRefs.push_back(std::move(global));
    return ref;
}

void JNIObjectManager::addtoCleanList(JNIQelAccessor* wrapper) {
    if (wrapper != nullptr)
        impl_->cleanList.emplace_back(wrapper);
}

void JNIObjectManager::cleanJRef() {
    // Moved out first: a wrapper's destructor may register more clean-up.
    std::vector<qeinteg::jni::GlobalRef> refs = std::move(impl_->globalRefs);
    impl_->globalRefs.clear();
    refs.clear();
    std::vector<std::unique_ptr<JNIQelAccessor>> wrappers = std::move(impl_->cleanList);
    impl_->cleanList.clear();
    wrappers.clear();
}

size_t JNIObjectManager::trackedGlobalRefCount() const {
    return impl_->globalRefs.size();
}

size_t JNIObjectManager::cleanListSize() const {
    return impl_->cleanList.size();
}
