package com.tavo.ae.qelhelpers;

import java.util.ArrayList;
import java.util.List;

public final class QelTypeTuple extends QelType {
    private final List<QelType> members = new ArrayList<>();

    public QelTypeTuple(QelType[] members) {
        if (members != null) {
            for (QelType member : members) this.members.add(member);
        }
    }

    @Override
    public String generate() {
        StringBuilder text = new StringBuilder("Tuple[");
        for (int i = 0; i < members.size(); i++) {
            if (i > 0) text.append(", ");
            QelType member = members.get(i);
            text.append(member == null ? "Any" : member.generate());
        }
        return text.append(']').toString();
    }
}
