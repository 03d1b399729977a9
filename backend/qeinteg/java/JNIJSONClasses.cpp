#include "qeinteg/java/JNIJSONClasses.h"

#include <atomic>
#include <mutex>

#include "qeinteg/platform/jvm/JNIAccessor.h"

namespace {

bool Lookup(JNIEnv* env, JNIJSONClasses& t) {
    const auto cls = [&](const char* name) { return JNIAccessor::FindClassCached(env, name); };
    t.object = cls("com/keld/json/java/JSONObject");
    t.array = cls("com/keld/json/java/JSONArray");
    t.string = cls("java/lang/String");
    t.number = cls("java/lang/Number");
    t.boolean = cls("java/lang/Boolean");
    t.integer = cls("java/lang/Integer");
    t.long_ = cls("java/lang/Long");
    t.double_ = cls("java/lang/Double");
    jclass set = cls("java/util/Set");
    jclass iterator = cls("java/util/Iterator");
    for (jclass c : {t.object, t.array, t.string, t.number, t.boolean, t.integer, t.long_,
                     t.double_, set, iterator}) {
        if (c == nullptr)
            return false;
    }

    bool ok = true;
    const auto method = [&](jclass c, const char* name, const char* signature) {
        jmethodID id = env->GetMethodID(c, name, signature);
        if (id == nullptr) {
            env->ExceptionClear();
            ok = false;
        }
        return id;
    };
    const auto staticMethod = [&](jclass c, const char* name, const char* signature) {
        jmethodID id = env->GetStaticMethodID(c, name, signature);
        if (id == nullptr) {
            env->ExceptionClear();
            ok = false;
        }
        return id;
    };
    t.objectInit = method(t.object, "<init>", "()V");
    t.objectParse =
        staticMethod(t.object, "parse", "(Ljava/lang/String;)Lcom/keld/json/java/JSONObject;");
    t.objectSerialize = method(t.object, "serialize", "()Ljava/lang/String;");
    t.objectPut =
        method(t.object, "put", "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;");
    t.objectGet = method(t.object, "get", "(Ljava/lang/Object;)Ljava/lang/Object;");
    t.objectKeySet = method(t.object, "keySet", "()Ljava/util/Set;");

    t.arrayInit = method(t.array, "<init>", "()V");
    t.arrayInitCapacity = method(t.array, "<init>", "(I)V");
    t.arrayParse =
        staticMethod(t.array, "parse", "(Ljava/lang/String;)Lcom/keld/json/java/JSONArray;");
    t.arraySerialize = method(t.array, "serialize", "()Ljava/lang/String;");
    t.arraySize = method(t.array, "size", "()I");
    t.arrayGet = method(t.array, "get", "(I)Ljava/lang/Object;");
    t.arrayAdd = method(t.array, "add", "(Ljava/lang/Object;)Z");
    t.arrayInsert = method(t.array, "add", "(ILjava/lang/Object;)V");
    t.arraySet = method(t.array, "set", "(ILjava/lang/Object;)Ljava/lang/Object;");

    t.setIterator = method(set, "iterator", "()Ljava/util/Iterator;");
    t.iteratorHasNext = method(iterator, "hasNext", "()Z");
    t.iteratorNext = method(iterator, "next", "()Ljava/lang/Object;");

    t.numberIntValue = method(t.number, "intValue", "()I");
    t.numberDoubleValue = method(t.number, "doubleValue", "()D");
    t.booleanValue = method(t.boolean, "booleanValue", "()Z");

    t.integerInit = method(t.integer, "<init>", "(I)V");
    t.longInit = method(t.long_, "<init>", "(J)V");
    t.doubleInit = method(t.double_, "<init>", "(D)V");
    t.booleanInit = method(t.boolean, "<init>", "(Z)V");
    return ok;
}

}  // namespace

const JNIJSONClasses* JNIJSONClasses::get(JNIEnv* env) {
    static std::atomic<const JNIJSONClasses*> table{nullptr};
    static std::mutex mutex;
    const JNIJSONClasses* ready = table.load(std::memory_order_acquire);
    if (ready != nullptr || env == nullptr)
        return ready;
    std::lock_guard<std::mutex> lock(mutex);
    ready = table.load(std::memory_order_relaxed);
    if (ready != nullptr)
        return ready;
    auto* fresh = new JNIJSONClasses();
    if (!Lookup(env, *fresh)) {
        delete fresh;
        return nullptr;
    }
    table.store(fresh, std::memory_order_release);
    return fresh;
}
