// Host code built outside the project against the installed library: one plain library call, then
// a JSON object made by the engine's Java classes, which the JVM loads from the installed jar.
#include <cstdio>
#include <string>

#include "qeinteg/data/QEStatUtilities.h"
#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIRefs.h"
#include "qeinteg/platform/jvm/TavoJVM.h"

int main() {
    const std::string joined = JoinFilePath("data", "weather.csv");
    if (joined != "data/weather.csv") {
        std::fprintf(stderr, "JoinFilePath gave '%s'\n", joined.c_str());
        return 1;
    }
    std::printf("class path: %s\n", TavoJVM::GetInstance().ClassPath().c_str());
    if (qeinteg::jni::AttachCurrentThread() == nullptr) {
        std::fprintf(stderr, "could not start the JVM\n");
        return 1;
    }
    JNIJSONObject object(R"({"station": "Seattle", "days": 1461})");
    if (!object.isGood()) {
        std::fprintf(stderr, "JSON object not made: %s\n", object.getParserError().c_str());
        return 1;
    }
    std::printf("json: %s\n", object.toString().c_str());
    return 0;
}
