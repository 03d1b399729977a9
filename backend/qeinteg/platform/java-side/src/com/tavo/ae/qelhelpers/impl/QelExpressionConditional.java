package com.tavo.ae.qelhelpers.impl;

import com.tavo.ae.qelhelpers.QelExpression;
import java.util.ArrayList;
import java.util.List;

/** "(if C1 then V1 elif C2 then V2 else OTHERWISE)"; without clauses just OTHERWISE. */
public final class QelExpressionConditional extends QelExpression {
    /** One condition and the value it selects. */
    public static final class Clause {
        private final QelExpression condition;
        private final QelExpression value;

        public Clause(QelExpression condition, QelExpression value) {
            this.condition = condition;
            this.value = value;
        }

        public QelExpression getCondition() {
            return condition;
        }

        public QelExpression getValue() {
            return value;
        }
    }

    private final List<Clause> clauses = new ArrayList<>();
    private final QelExpression otherwise;

    public QelExpressionConditional(List<Clause> clauses, QelExpression otherwise) {
        if (clauses != null) {
            for (Clause clause : clauses) {
                if (clause != null) this.clauses.add(clause);
            }
        }
        this.otherwise = otherwise;
    }

    @Override
    public String generate() {
        String otherwiseText = QelExpressions.text(otherwise);
        if (clauses.isEmpty()) return otherwiseText;
        StringBuilder text = new StringBuilder("(");
        for (int i = 0; i < clauses.size(); i++) {
            Clause clause = clauses.get(i);
            text.append(i == 0 ? "if " : " elif ").append(QelExpressions.text(clause.getCondition()));
            text.append(" then ").append(QelExpressions.text(clause.getValue()));
        }
        return text.append(" else ").append(otherwiseText).append(')').toString();
    }
}
