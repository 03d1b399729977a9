// Walking and building Java collections without growing the local reference table.
//
// ForEach runs each element in a local frame of its own, so a walk over a million elements holds
// a fixed handful of local references; the builders delete each temporary as soon as it has been
// stored. Failures go through the caller as one record each (Failure.h); a collection that could
// not be built comes back empty (a null LocalRef).
#pragma once

#include <jni.h>

#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Failure.h"
#include "qeinteg/java/jni/Method.h"
#include "qeinteg/java/jni/PackedJson.h"
#include "qeinteg/java/jni/Refs.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

namespace qeinteg::jni {

namespace detail {

inline const Member kArrayMember{"java/lang/reflect/Array", "newInstance", ""};
inline const Member kStringMember{"java/lang/String", "<init>", ""};

}  // namespace detail

// A new Java string holding the UTF-8 text; empty (one failure record) when it cannot be made.
template <Caller C>
LocalRef<jstring> NewString(C& caller, std::string_view utf8) {
    JNIEnv* env = caller.getEnv();
    if (env == nullptr)
        return LocalRef<jstring>();
    LocalRef<jstring> text(env, qejni::NewJavaString(env, utf8));
    if (CheckException(caller, detail::kStringMember))
        return LocalRef<jstring>();
    return text;
}

// The UTF-8 text of a Java string object; empty for null.
inline std::string ToUtf8(JNIEnv* env, jobject text) {
    return env == nullptr ? std::string()
                          : qejni::JavaStringToUtf8(env, static_cast<jstring>(text));
}

// Calls fn(element) for each element of `iterable` (any java.lang.Iterable: a list, a set, a key
// set), in its iteration order. `element` is valid during the call only. fn returns void, or bool
// where false stops the walk. Returns false when a Java call failed (one record through caller);
// the elements visited before stay visited.
template <Caller C, typename Fn>
bool ForEach(C& caller, jobject iterable, Fn&& fn) {
    const Classes* classes = BindingsFor(caller);
    if (classes == nullptr)
        return false;
    const CollectionBinding& c = classes->collection;
    JNIEnv* env = caller.getEnv();
    if (iterable != nullptr && env != nullptr && !env->IsInstanceOf(iterable, c.iterable.get())) {
        Fail(caller, OwnFailure(c.iterate.member(), "not a java.lang.Iterable"));
        return false;
    }
    FailureWatch watch(caller);
    LocalRef<jobject> iterator = c.iterate(watch, iterable);
    if (!iterator)
        return false;
    while (c.hasNext(watch, iterator.get())) {
        LocalFrame frame(env, 8);
        if (!frame.ok()) {
            Fail(watch, OwnFailure(c.next.member(), "no room for a local frame"));
            return false;
        }
        LocalRef<jobject> element = c.next(watch, iterator.get());
        if (watch.failed())
            return false;
        if constexpr (std::is_same_v<std::invoke_result_t<Fn&, jobject>, bool>) {
            if (!fn(element.get()))
                return true;
        } else {
            fn(element.get());
        }
    }
    return !watch.failed();
}

namespace detail {

// A new collection made by `create` (given the count) with each object added by `add`; null
// objects are added when keepNulls, else left out. Empty when any step failed.
template <Caller C>
LocalRef<jobject> NewCollection(C& caller, const Constructor<jint>& create,
                                const Method<jboolean(jobject)>& add,
                                const std::vector<jobject>& items, bool keepNulls) {
    LocalRef<jobject> collection = create(caller, static_cast<jint>(items.size()));
    for (jobject item : items) {
        if (!collection)
            break;
        if (item == nullptr && !keepNulls)
            continue;
        FailureWatch watch(caller);
        add(watch, collection.get(), item);
        if (watch.failed())
            collection.reset();
    }
    return collection;
}

}  // namespace detail

// A new java.util.ArrayList of the objects, in order; null elements stay null.
template <Caller C>
LocalRef<jobject> NewList(C& caller, const std::vector<jobject>& items) {
    const Classes* classes = BindingsFor(caller);
    if (classes == nullptr)
        return LocalRef<jobject>();
    const CollectionBinding& c = classes->collection;
    return detail::NewCollection(caller, c.newArrayList, c.listAdd, items, true);
}

// A new java.util.HashSet of the non-null objects.
template <Caller C>
LocalRef<jobject> NewHashSet(C& caller, const std::vector<jobject>& items) {
    const Classes* classes = BindingsFor(caller);
    if (classes == nullptr)
        return LocalRef<jobject>();
    const CollectionBinding& c = classes->collection;
    return detail::NewCollection(caller, c.newHashSet, c.setAdd, items, false);
}

// A new java.util.HashMap from text keys; entries whose value is null are left out.
template <Caller C>
LocalRef<jobject> NewMap(C& caller, const std::vector<std::pair<std::string, jobject>>& entries) {
    const Classes* classes = BindingsFor(caller);
    if (classes == nullptr)
        return LocalRef<jobject>();
    const CollectionBinding& c = classes->collection;
    LocalRef<jobject> map = c.newHashMap(caller, static_cast<jint>(entries.size()));
    for (const auto& [key, value] : entries) {
        if (!map)
            break;
        if (value == nullptr)
            continue;
        FailureWatch watch(caller);
        LocalRef<jstring> name = NewString(watch, key);
        if (name)
            c.mapPut(watch, map.get(), name.get(), value);
        if (watch.failed())
            map.reset();
    }
    return map;
}

// A new Java array of element class `cls` holding the objects in order.
template <Caller C>
LocalRef<jobjectArray> NewObjectArray(C& caller, jclass cls, const std::vector<jobject>& items) {
    JNIEnv* env = caller.getEnv();
    if (env == nullptr)
        return LocalRef<jobjectArray>();
    LocalRef<jobjectArray> array(
        env, env->NewObjectArray(static_cast<jsize>(items.size()), cls, nullptr));
    if (CheckException(caller, detail::kArrayMember))
        return LocalRef<jobjectArray>();
    for (size_t i = 0; i < items.size(); ++i) {
        env->SetObjectArrayElement(array.get(), static_cast<jsize>(i), items[i]);
        if (CheckException(caller, detail::kArrayMember))
            return LocalRef<jobjectArray>();
    }
    return array;
}

// A new String[] holding the texts in order.
template <Caller C>
LocalRef<jobjectArray> NewStringArray(C& caller, const std::vector<std::string>& items) {
    JNIEnv* env = caller.getEnv();
    const Classes* classes = BindingsFor(caller);
    if (env == nullptr || classes == nullptr)
        return LocalRef<jobjectArray>();
    LocalRef<jobjectArray> array(env, env->NewObjectArray(static_cast<jsize>(items.size()),
                                                          classes->box.string.get(), nullptr));
    if (CheckException(caller, detail::kArrayMember))
        return LocalRef<jobjectArray>();
    for (size_t i = 0; i < items.size(); ++i) {
        LocalRef<jstring> text = NewString(caller, items[i]);
        if (!text)
            return LocalRef<jobjectArray>();
        env->SetObjectArrayElement(array.get(), static_cast<jsize>(i), text.get());
        if (CheckException(caller, detail::kArrayMember))
            return LocalRef<jobjectArray>();
    }
    return array;
}

// A new boolean[] holding the values in order.
template <Caller C>
LocalRef<jbooleanArray> NewBooleanArray(C& caller, const std::vector<bool>& items) {
    JNIEnv* env = caller.getEnv();
    if (env == nullptr)
        return LocalRef<jbooleanArray>();
    LocalRef<jbooleanArray> array(env, env->NewBooleanArray(static_cast<jsize>(items.size())));
    if (CheckException(caller, detail::kArrayMember))
        return LocalRef<jbooleanArray>();
    std::vector<jboolean> values;
    values.reserve(items.size());
    for (bool b : items)
        values.push_back(b ? JNI_TRUE : JNI_FALSE);
    if (!values.empty())
        env->SetBooleanArrayRegion(array.get(), 0, static_cast<jsize>(values.size()),
                                   values.data());
    return array;
}

// A JSON value (any node: object, array, string, number, boolean) copied out of Java in one call,
// or its keys only (an array of strings, empty for a non-object) when keysOnly. `reuse`, when it
// holds a buffer of an earlier PackedJson (releaseBuffer()), is written into if it is large
// enough. An empty PackedJson, with one failure record, when the value cannot be packed.
template <Caller C>
PackedJson Pack(C& caller, jobject node, bool keysOnly, const GlobalRef& reuse = GlobalRef()) {
    const Classes* classes = BindingsFor(caller);
    if (classes == nullptr)
        return PackedJson();
    const JsonPackerBinding& p = classes->jsonPacker;
    LocalRef<jobject> buffer =
        keysOnly ? p.packKeys(caller, node, reuse.get()) : p.pack(caller, node, reuse.get());
    if (!buffer)
        return PackedJson();
    PackedJson packed(caller.getEnv(), buffer.get());
    if (!packed.valid())
        Fail(caller, OwnFailure(p.pack.member(), "the packed value is not a readable buffer"));
    return packed;
}

}  // namespace qeinteg::jni
