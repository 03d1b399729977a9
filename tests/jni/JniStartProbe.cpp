// Starts the library's Java side (the object manager), makes one JSON object and prints the first
// failure it met on standard output. Exit status 0 when the object was made, 1 when it was not.
#include <cstdio>

#include "qeinteg/java/JNIJSONObject.h"
#include "qeinteg/java/JNIObjectManager.h"

int main() {
    JNIObjectManager::newManager();
    JNIJSONObject object("{\"a\":1}");
    std::printf("%s\n",
                object.isGood() ? object.toString().c_str() : object.getParserError().c_str());
    return object.isGood() ? 0 : 1;
}
