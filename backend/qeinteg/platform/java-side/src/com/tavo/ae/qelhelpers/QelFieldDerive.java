package com.tavo.ae.qelhelpers;

/** The derivation of one field from an expression evaluated on each record. */
public final class QelFieldDerive {
    private final String fieldName;
    private final QelExpression expression;

    public QelFieldDerive(String fieldName, QelExpression expression) {
        this.fieldName = fieldName == null ? "" : fieldName;
        this.expression = expression;
    }

    public String getFieldName() {
        return fieldName;
    }

    public QelExpression getExpression() {
        return expression;
    }

    /** A record lambda giving the pair (field name, value), as the reclassification functions take. */
    public String generate() {
        String value = expression == null ? "null" : expression.generate();
        return QelExpression.RECORD_LAMBDA_PREFIX + "(" + QelHelpers.quote(fieldName) + ", " + value + ")";
    }
}
