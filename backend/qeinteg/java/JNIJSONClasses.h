// The Java JSON classes and the methods the JSON wrappers call, looked up once per process.
//
// Internal to the library: the wrappers share one table instead of looking classes and method ids
// up on every call. Classes are process-wide global references, and method ids stay valid for as
// long as their class is loaded, so the table is safe to use from any attached thread.
#pragma once

#include <jni.h>

struct JNIJSONClasses {
    jclass object;   // com/keld/json/java/JSONObject
    jclass array;    // com/keld/json/java/JSONArray
    jclass string;   // java/lang/String
    jclass number;   // java/lang/Number
    jclass boolean;  // java/lang/Boolean
    jclass integer;  // java/lang/Integer
    jclass long_;    // java/lang/Long
    jclass double_;  // java/lang/Double

    jmethodID objectInit;       // JSONObject()
    jmethodID objectParse;      // static JSONObject parse(String)
    jmethodID objectSerialize;  // String serialize()
    jmethodID objectPut;        // Object put(Object, Object)
    jmethodID objectGet;        // Object get(Object)
    jmethodID objectKeySet;     // Set keySet()

    jmethodID arrayInit;          // JSONArray()
    jmethodID arrayInitCapacity;  // JSONArray(int)
    jmethodID arrayParse;         // static JSONArray parse(String)
    jmethodID arraySerialize;     // String serialize()
    jmethodID arraySize;          // int size()
    jmethodID arrayGet;           // Object get(int)
    jmethodID arrayAdd;           // boolean add(Object)
    jmethodID arrayInsert;        // void add(int, Object)
    jmethodID arraySet;           // Object set(int, Object)

    jmethodID setIterator;      // java/util/Set: Iterator iterator()
    jmethodID iteratorHasNext;  // java/util/Iterator: boolean hasNext()
    jmethodID iteratorNext;     // java/util/Iterator: Object next()

    jmethodID numberIntValue;     // java/lang/Number: int intValue()
    jmethodID numberDoubleValue;  // java/lang/Number: double doubleValue()
    jmethodID booleanValue;       // java/lang/Boolean: boolean booleanValue()

    jmethodID integerInit;  // Integer(int)
    jmethodID longInit;     // Long(long)
    jmethodID doubleInit;   // Double(double)
    jmethodID booleanInit;  // Boolean(boolean)

    // The table, made on first use; null (nothing pending) when a class or method is missing, in
    // which case the next call tries again.
    static const JNIJSONClasses* get(JNIEnv* env);
};
