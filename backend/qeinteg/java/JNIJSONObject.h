// TEMP stand-in until the JSON value model lands.
#pragma once

#include <string>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/platform/jvm/JavaStrings.h"

class JNIJSONObject : public JNIQelAccessor {
public:
    JNIJSONObject() { init("com/keld/json/java/JSONObject", true); }
    void put(const std::string& key, const char* value) { putObject(key, newObject(value, false, true)); }
    void put(const std::string& key, int value) { putObject(key, newObject(value, false, true)); }
    void put(const std::string& key, bool value) { putObject(key, newObject(value, false, true)); }

private:
    void putObject(const std::string& key, jobject value) {
        JNIEnv* env = getEnv();
        jobject k = newObject(key, false, true);
        jmethodID put = env->GetMethodID(getClass(), "put",
                                         "(Ljava/lang/Object;Ljava/lang/Object;)Ljava/lang/Object;");
        jobject old = env->CallObjectMethod(getObject(), put, k, value);
        if (old != nullptr) env->DeleteLocalRef(old);
        checkException(true);
    }
};
