package com.tavo.ae.qelhelpers.impl;

import com.tavo.ae.qelhelpers.QelExpression;
import com.tavo.ae.qelhelpers.QelHelpers;
import java.util.ArrayList;
import java.util.List;

/** The expression kinds the program creates. */
public final class QelExpressions {
    private QelExpressions() {}

    /** The text of an expression that may be absent ("null"). */
    static String text(QelExpression expression) {
        return expression == null ? "null" : expression.generate();
    }

    private static String join(List<QelExpression> items, String open, String close) {
        StringBuilder text = new StringBuilder(open);
        for (int i = 0; i < items.size(); i++) {
            if (i > 0) text.append(", ");
            text.append(text(items.get(i)));
        }
        return text.append(close).toString();
    }

    private static List<QelExpression> copy(List<QelExpression> items) {
        return items == null ? new ArrayList<>() : new ArrayList<>(items);
    }

    /** A literal of a fixed text: a JSON-style string, number, boolean or null. */
    public static QelExpression fixed(String text) {
        return new QelExpression() {
            @Override
            public String generate() {
                return text;
            }
        };
    }

    public static QelExpression literal(String value) {
        return fixed(value == null ? "null" : QelHelpers.quote(value));
    }

    public static QelExpression literal(Double value) {
        if (value == null) return fixed("null");
        if (value.isNaN() || value.isInfinite()) {
            // JSON has no literal for these; the conversion function reads Java's spelling.
            return fixed("toReal(" + QelHelpers.quote(value.toString()) + ")");
        }
        return fixed(value.toString());
    }

    public static QelExpression literal(Number value) {
        return fixed(value == null ? "null" : value.toString());
    }

    public static QelExpression literal(Boolean value) {
        return fixed(value == null ? "null" : value.toString());
    }

    /** A field of a record: record.field, or record.`field` when the name is not an identifier. */
    public static QelExpression fieldReference(String field, String record) {
        String owner = record == null || record.isEmpty() ? "x" : record;
        return fixed(owner + "." + QelHelpers.memberName(field == null ? "" : field));
    }

    /** A template in which each "%s" stands for the text of the next argument. */
    public static QelExpression template(String template, QelExpression[] arguments) {
        String pattern = template == null ? "" : template;
        List<QelExpression> args = new ArrayList<>();
        if (arguments != null) {
            for (QelExpression argument : arguments) args.add(argument);
        }
        int slots = 0;
        for (int at = pattern.indexOf("%s"); at >= 0; at = pattern.indexOf("%s", at + 2)) slots++;
        if (slots != args.size()) {
            throw new IllegalArgumentException("the template \"" + pattern + "\" has " + slots
                    + " place(s) for " + args.size() + " argument(s)");
        }
        return new QelExpression() {
            @Override
            public String generate() {
                StringBuilder text = new StringBuilder();
                int from = 0;
                for (QelExpression argument : args) {
                    int at = pattern.indexOf("%s", from);
                    text.append(pattern, from, at).append(text(argument));
                    from = at + 2;
                }
                return text.append(pattern.substring(from)).toString();
            }
        };
    }

    /** (a, b); a single item is written (a,) so that it reads as a tuple, not as brackets. */
    public static QelExpression tuple(List<QelExpression> items) {
        List<QelExpression> members = copy(items);
        return new QelExpression() {
            @Override
            public String generate() {
                if (members.size() == 1) return "(" + text(members.get(0)) + ",)";
                return join(members, "(", ")");
            }
        };
    }

    public static QelExpression list(List<QelExpression> items) {
        List<QelExpression> members = copy(items);
        return new QelExpression() {
            @Override
            public String generate() {
                return join(members, "[", "]");
            }
        };
    }

    /** p => body for one untyped parameter, else (a: Int, b) => body. */
    public static QelExpression lambda(List<QelExpression.LambdaSignature> parameters, QelExpression body) {
        List<QelExpression.LambdaSignature> params =
                parameters == null ? new ArrayList<>() : new ArrayList<>(parameters);
        return new QelExpression() {
            @Override
            public String generate() {
                StringBuilder text = new StringBuilder();
                if (params.size() == 1 && params.get(0) != null && params.get(0).getParameterType() == null) {
                    text.append(params.get(0).getParameterName());
                } else {
                    text.append('(');
                    for (int i = 0; i < params.size(); i++) {
                        if (i > 0) text.append(", ");
                        QelExpression.LambdaSignature param = params.get(i);
                        text.append(param == null ? "_" : param.generate());
                    }
                    text.append(')');
                }
                return text.append(" => ").append(text(body)).toString();
            }

            @Override
            public boolean isLambda() {
                return true;
            }
        };
    }
}
