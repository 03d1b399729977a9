package com.tavo.ae.qelhelpers;

public final class QelTypeList extends QelType {
    private final QelType element;

    public QelTypeList(QelType element) {
        this.element = element;
    }

    @Override
    public String generate() {
        return "List[" + (element == null ? "Any" : element.generate()) + "]";
    }
}
