#include "qeinteg/qel/QelExpressionConditional.h"

#include "qeinteg/qel/JNIQelExpression.h"
#include "qeinteg/qel/QelJni.h"

using namespace qeinteg::qeljni;

QelExpressionConditional::Clause::Clause(JNIQelExpression* condition, JNIQelExpression* value)
    : condition_(condition), value_(value) {
    Adopt(*this,
          NewInstance(
              *this, kClause,
              "(Lcom/tavo/ae/qelhelpers/QelExpression;Lcom/tavo/ae/qelhelpers/QelExpression;)V",
              ObjectOf(condition), ObjectOf(value)),
          kClause, false);
}

QelExpressionConditional::Clause::~Clause() {
    ReleaseOwned(*this);
}
