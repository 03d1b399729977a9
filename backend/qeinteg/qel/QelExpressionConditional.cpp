#include "qeinteg/qel/QelExpressionConditional.h"

#include "qeinteg/java/jni/Classes.h"
#include "qeinteg/qel/JNIQelExpression.h"

QelExpressionConditional::Clause::Clause(JNIQelExpression* condition, JNIQelExpression* value)
    : condition_(condition), value_(value) {
    if (const qeinteg::jni::Classes* c = bindings()) {
        holdObject(c->qel
                       .newClause(*this, condition != nullptr ? condition->getObject() : nullptr,
                                  value != nullptr ? value->getObject() : nullptr)
                       .get());
    }
}

QelExpressionConditional::Clause::~Clause() = default;
