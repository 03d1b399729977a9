package com.tavo.ae.qelhelpers;

/**
 * An expression tree; generate() gives its text in the job language. Expressions used by a
 * function are bound to values of the form "ctx => x => EXPR", where x is the record.
 */
public abstract class QelExpression {
    /** The head of a record lambda: ctx is the run context, x the current record. */
    public static final String RECORD_LAMBDA_PREFIX = "ctx => x => ";

    /** The simple types of fields and lambda parameters. */
    public enum SimpleTypes { Any, Number, String, Int, Real, Char, Bool, Time, Date, Timestamp }

    /** A parameter of a lambda: its name and, optionally, its type. */
    public static final class LambdaSignature {
        private final String parameterName;
        private final QelType parameterType;

        public LambdaSignature(String parameterName, QelType parameterType) {
            this.parameterName = parameterName == null ? "" : parameterName;
            this.parameterType = parameterType;
        }

        public String getParameterName() {
            return parameterName;
        }

        public QelType getParameterType() {
            return parameterType;
        }

        public String generate() {
            return parameterType == null ? parameterName : parameterName + ": " + parameterType.generate();
        }
    }

    public abstract String generate();

    /** True for lambda expressions, which are bound to a value as they are. */
    public boolean isLambda() {
        return false;
    }

    /** The text bound to a value: a lambda as it is, anything else as a record lambda. */
    public String generateBinding() {
        return isLambda() ? generate() : RECORD_LAMBDA_PREFIX + generate();
    }

    @Override
    public String toString() {
        return generate();
    }
}
