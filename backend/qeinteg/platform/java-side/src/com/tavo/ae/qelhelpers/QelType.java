package com.tavo.ae.qelhelpers;

/** The type of a lambda parameter or a derived field. */
public abstract class QelType {
    /** The type's text: a simple type name, List[T] or Tuple[A, B, ...]. */
    public abstract String generate();

    @Override
    public String toString() {
        return generate();
    }
}
