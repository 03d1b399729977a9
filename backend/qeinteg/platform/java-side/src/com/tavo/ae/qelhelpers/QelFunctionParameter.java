package com.tavo.ae.qelhelpers;

import com.keld.json.java.JSONObject;
import java.util.ArrayList;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;

/**
 * One argument of a general function. The flag of the factory says whether the argument is bound
 * to a value ("val NAME = ...") and named in the call, or written into the call itself. Expressions
 * are always bound (a call holds no expression text); inputs are never bound.
 */
public final class QelFunctionParameter {
    public enum Kind { JSON, INPUT, EXPRESSION, RAW, INPUTS, CONTAINERS }

    /** Makes parameters. */
    public interface Factory {
        QelFunctionParameter createJson(JSONObject json, boolean bound);

        QelFunctionParameter createInput(QelFunction function);

        QelFunctionParameter createExpression(QelExpression expression, boolean bound);

        QelFunctionParameter createRaw(String text, boolean bound);

        QelFunctionParameter createInputs(Map<String, QelFunction> inputs, boolean bound);

        QelFunctionParameter createContainers(List<QelContainer> containers, boolean bound);
    }

    /** Where callers get the factory. */
    public static final class FactoryInstance {
        private static final Factory FACTORY = new Factory() {
            @Override
            public QelFunctionParameter createJson(JSONObject json, boolean bound) {
                return new QelFunctionParameter(Kind.JSON, json, bound);
            }

            @Override
            public QelFunctionParameter createInput(QelFunction function) {
                return new QelFunctionParameter(Kind.INPUT, function, false);
            }

            @Override
            public QelFunctionParameter createExpression(QelExpression expression, boolean bound) {
                return new QelFunctionParameter(Kind.EXPRESSION, expression, true);
            }

            @Override
            public QelFunctionParameter createRaw(String text, boolean bound) {
                return new QelFunctionParameter(Kind.RAW, text == null ? "" : text, bound);
            }

            @Override
            public QelFunctionParameter createInputs(Map<String, QelFunction> inputs, boolean bound) {
                // Sorted by tag so that the text does not depend on the map's order.
                Map<String, QelFunction> sorted = new TreeMap<>();
                QelProgram.checkTags(inputs);
                if (inputs != null) {
                    for (Map.Entry<String, QelFunction> entry : inputs.entrySet()) {
                        if (entry.getKey() != null && entry.getValue() != null) {
                            sorted.put(entry.getKey(), entry.getValue());
                        }
                    }
                }
                return new QelFunctionParameter(Kind.INPUTS, sorted, false);
            }

            @Override
            public QelFunctionParameter createContainers(List<QelContainer> containers, boolean bound) {
                List<QelContainer> copy = containers == null ? new ArrayList<>() : new ArrayList<>(containers);
                return new QelFunctionParameter(Kind.CONTAINERS, copy, bound);
            }
        };

        private FactoryInstance() {}

        public static Factory getFactory() {
            return FACTORY;
        }
    }

    private final Kind kind;
    private final Object value;
    private final boolean bound;

    private QelFunctionParameter(Kind kind, Object value, boolean bound) {
        this.kind = kind;
        this.value = value;
        this.bound = bound;
    }

    public Kind getKind() {
        return kind;
    }

    public Object getValue() {
        return value;
    }

    public boolean isBound() {
        return bound;
    }
}
