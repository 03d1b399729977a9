// Types of lambda parameters and derived fields. Made and deleted by the caller.
#pragma once

#include <string>
#include <vector>

#include "qeinteg/java/JNIQelAccessor.h"
#include "qeinteg/qeinteg_export.h"
#include "qeinteg/qel/JNIQelExpression.h"

class QEINTEG_EXPORT JNIQelType : public JNIQelAccessor {
  public:
    ~JNIQelType() override;
    // The type's text ("Int", "List[Real]", "Tuple[Int, String]").
    virtual std::string generate();

  protected:
    JNIQelType() = default;
};

class QEINTEG_EXPORT JNIQelTypeSimple : public JNIQelType {
  public:
    explicit JNIQelTypeSimple(JNIQelExpression::SimpleTypes type);
};

class QEINTEG_EXPORT JNIQelTypeList : public JNIQelType {
  public:
    // A list of element; element need not outlive this object.
    explicit JNIQelTypeList(JNIQelType& element);
};

class QEINTEG_EXPORT JNIQelTypeTuple : public JNIQelType {
  public:
    // A tuple of the members in order; a null member is passed as null.
    explicit JNIQelTypeTuple(std::vector<JNIQelType*>& members);
};
