package com.tavo.ae.qelhelpers;

public final class QelTypeSimple extends QelType {
    private final QelExpression.SimpleTypes type;

    public QelTypeSimple(QelExpression.SimpleTypes type) {
        this.type = type == null ? QelExpression.SimpleTypes.Any : type;
    }

    @Override
    public String generate() {
        return type.name();
    }
}
