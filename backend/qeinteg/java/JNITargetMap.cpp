#include "qeinteg/java/JNITargetMap.h"

#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/java/jni/Collections.h"

using qeinteg::jni::Classes;
using qeinteg::jni::LocalRef;

JNITargetMap::JNITargetMap(std::string graphJson) {
    if (const Classes* c = bindings())
        holdObject(c->targetMap.create(*this).get());
    bool parsed = false;
    // The answer is not needed: a text that is not a graph leaves an empty map.
    CallSeriesPredicate(Predicate::FromJson, graphJson, parsed);
}

JNITargetMap::~JNITargetMap() = default;

bool JNITargetMap::CallSeriesPredicate(Predicate method, const std::string& series, bool& answer) {
    answer = false;
    const Classes* c = getObject() != nullptr ? bindings() : nullptr;
    if (c == nullptr)
        return false;
    const auto& call = method == Predicate::FromJson   ? c->targetMap.fromJSON
                       : method == Predicate::IsTarget ? c->targetMap.isTarget
                                                       : c->targetMap.isPredictor;
    LocalRef<jstring> text = qeinteg::jni::NewString(*this, series);
    if (!text)
        return false;
    qeinteg::jni::FailureWatch watch(*this);
    answer = call(watch, getObject(), text.get());
    return !watch.failed();
}

bool JNITargetMap::CallSeriesList(SeriesList method, std::vector<std::string>& out) {
    const Classes* c = getObject() != nullptr ? bindings() : nullptr;
    if (c == nullptr)
        return false;
    const auto& call =
        method == SeriesList::Targets ? c->targetMap.allTargets : c->targetMap.allPredictors;
    LocalRef<jobject> list = call(*this, getObject());
    if (!list)
        return false;
    return qeinteg::jni::ForEach(*this, list.get(), [&](jobject element) {
        out.push_back(qeinteg::jni::ToUtf8(getEnv(), element));
    });
}

bool JNITargetMap::PredictorIndexSetSize(const std::string& series, int& size) {
    size = 0;
    const Classes* c = getObject() != nullptr ? bindings() : nullptr;
    if (c == nullptr)
        return false;
    LocalRef<jstring> text = qeinteg::jni::NewString(*this, series);
    if (!text)
        return false;
    LocalRef<jobject> set = c->targetMap.predictorIndexSet(*this, getObject(), text.get());
    if (!set)
        return false;
    qeinteg::jni::FailureWatch watch(*this);
    size = c->collection.size(watch, set.get());
    return !watch.failed();
}

bool JNITargetMap::IsTarget(const std::string& series) {
    bool answer = false;
    return CallSeriesPredicate(Predicate::IsTarget, series, answer) && answer;
}

bool JNITargetMap::IsPredictor(const std::string& series) {
    bool answer = false;
    return CallSeriesPredicate(Predicate::IsPredictor, series, answer) && answer;
}

bool JNITargetMap::IsArModelSeries(const std::string& series) {
    return IsPredictor(series) && !IsTarget(series);
}

bool JNITargetMap::IsValidSeries(const std::string& series) {
    return IsPredictor(series) || IsTarget(series);
}

bool JNITargetMap::GetAllTargets(std::vector<std::string>& out) {
    return CallSeriesList(SeriesList::Targets, out);
}

bool JNITargetMap::GetAllPredictors(std::vector<std::string>& out) {
    return CallSeriesList(SeriesList::Predictors, out);
}

bool JNITargetMap::GetTargetsWithoutInput(std::vector<std::string>& out) {
    std::vector<std::string> targets;
    if (!CallSeriesList(SeriesList::Targets, targets))
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
    if (!CallSeriesList(SeriesList::Predictors, predictors))
        return false;
    for (const std::string& predictor : predictors) {
        bool target = false;
        if (!CallSeriesPredicate(Predicate::IsTarget, predictor, target))
            return false;
        if (!target)
            out.push_back(predictor);
    }
    return true;
}
