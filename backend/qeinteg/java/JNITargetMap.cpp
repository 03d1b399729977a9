#include "qeinteg/java/JNITargetMap.h"

#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

namespace {

constexpr const char* kMapClass = "com/tavo/utilities/targetpredictormap/TargetPredictorMap";

}  // namespace

JNITargetMap::JNITargetMap(std::string graphJson) {
    init(kMapClass, true);
    bool parsed = false;
    // The answer is not needed: a text that is not a graph leaves an empty map.
    CallSeriesPredicate("fromJSON", graphJson, parsed);
}

JNITargetMap::~JNITargetMap() = default;

bool JNITargetMap::CallSeriesPredicate(const char* method, const std::string& series,
                                       bool& answer) {
    answer = false;
    JNIEnv* env = getEnv();
    if (env == nullptr || getObject() == nullptr || !setClass(kMapClass) ||
        !setMethod(method, "(Ljava/lang/String;)Z")) {
        return false;
    }
    qeinteg::jni::LocalRef<jstring> text(env, qejni::NewJavaString(env, series));
    if (checkException(false))
        return false;
    const jboolean result = env->CallBooleanMethod(getObject(), getMethod(), text.get());
    if (checkException(false))
        return false;
    answer = result == JNI_TRUE;
    return true;
}

bool JNITargetMap::CallSeriesList(const char* method, std::vector<std::string>& out) {
    JNIEnv* env = getEnv();
    if (env == nullptr || getObject() == nullptr || !setClass(kMapClass) ||
        !setMethod(method, "()Ljava/util/List;")) {
        return false;
    }
    qeinteg::jni::LocalRef<> list(env, env->CallObjectMethod(getObject(), getMethod()));
    if (checkException(false) || !list)
        return false;
    JNIAccessor walker;
    walker.setEnv(env);
    if (!walker.setClass("java/util/List") ||
        !walker.setMethod("iterator", "()Ljava/util/Iterator;")) {
        return false;
    }
    qeinteg::jni::LocalRef<> iterator(env, env->CallObjectMethod(list.get(), walker.getMethod()));
    if (checkException(false) || !iterator || !walker.setClass("java/util/Iterator"))
        return false;
    if (!walker.setMethod("hasNext", "()Z"))
        return false;
    const jmethodID hasNext = walker.getMethod();
    if (!walker.setMethod("next", "()Ljava/lang/Object;"))
        return false;
    const jmethodID next = walker.getMethod();
    while (true) {
        const jboolean more = env->CallBooleanMethod(iterator.get(), hasNext);
        if (checkException(false))
            return false;
        if (more != JNI_TRUE)
            return true;
        // Each element's reference dies before the next is fetched.
        qeinteg::jni::LocalRef<jstring> element(
            env, static_cast<jstring>(env->CallObjectMethod(iterator.get(), next)));
        if (checkException(false))
            return false;
        out.push_back(qejni::JavaStringToUtf8(env, element.get()));
    }
}

bool JNITargetMap::PredictorIndexSetSize(const std::string& series, int& size) {
    size = 0;
    JNIEnv* env = getEnv();
    if (env == nullptr || getObject() == nullptr || !setClass(kMapClass) ||
        !setMethod("getPredictorIndexSet", "(Ljava/lang/String;)Ljava/util/Set;")) {
        return false;
    }
    qeinteg::jni::LocalRef<jstring> text(env, qejni::NewJavaString(env, series));
    if (checkException(false))
        return false;
    qeinteg::jni::LocalRef<> set(env, env->CallObjectMethod(getObject(), getMethod(), text.get()));
    if (checkException(false) || !set)
        return false;
    JNIAccessor sizer;
    sizer.setEnv(env);
    if (!sizer.setClass("java/util/Set") || !sizer.setMethod("size", "()I"))
        return false;
    size = env->CallIntMethod(set.get(), sizer.getMethod());
    return !checkException(false);
}

bool JNITargetMap::IsTarget(const std::string& series) {
    bool answer = false;
    return CallSeriesPredicate("isTarget", series, answer) && answer;
}

bool JNITargetMap::IsPredictor(const std::string& series) {
    bool answer = false;
    return CallSeriesPredicate("isPredictor", series, answer) && answer;
}

bool JNITargetMap::IsArModelSeries(const std::string& series) {
    return IsPredictor(series) && !IsTarget(series);
}

bool JNITargetMap::IsValidSeries(const std::string& series) {
    return IsPredictor(series) || IsTarget(series);
}

bool JNITargetMap::GetAllTargets(std::vector<std::string>& out) {
    return CallSeriesList("getAllTargetSeries", out);
}

bool JNITargetMap::GetAllPredictors(std::vector<std::string>& out) {
    return CallSeriesList("getAllPredictorSeries", out);
}

bool JNITargetMap::GetTargetsWithoutInput(std::vector<std::string>& out) {
    std::vector<std::string> targets;
    if (!CallSeriesList("getAllTargetSeries", targets))
        return false;
    for (const std::string& target : targets) {
        int size = 0;
        if (!PredictorIndexSetSize(target, size)) {
            targets.clear();
            return false;
        }
        if (size == 1)
            out.push_back(target);
    }
    return true;
}

bool JNITargetMap::GetArModelSeries(std::vector<std::string>& out) {
    std::vector<std::string> predictors;
    if (!CallSeriesList("getAllPredictorSeries", predictors))
        return false;
    for (const std::string& predictor : predictors) {
        bool target = false;
        if (!CallSeriesPredicate("isTarget", predictor, target))
            return false;
        if (!target)
            out.push_back(predictor);
    }
    return true;
}
