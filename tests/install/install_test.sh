#!/usr/bin/env bash
# The installed library as host code meets it, away from the build tree:
#  - installs the build into a temporary prefix and then moves the prefix (so nothing may depend on
#    where it was installed), and checks that no installed file searches the build tree at run time;
#  - builds one consumer with find_package(qeinteg) (with every installed header compiled) and one
#    with pkg-config, and runs both: a library call and a JSON object made in the JVM from the
#    installed jar; QEINTEG_CLASSPATH still overrides the class path;
#  - builds the Debian package, checks that its Depends name the package of every library and jar it
#    loads from the system, unpacks it with dpkg-deb -x and runs its qeinteg --version.
# Where the system allows a private mount namespace, consumers and the unpacked command run with the
# build tree hidden under an empty file system.
#
# usage: install_test.sh SOURCE_DIR BUILD_DIR VERSION   (CMAKE_COMMAND, CPACK_COMMAND, CXX optional)
set -euo pipefail

source_dir=$(realpath "$1")
build_dir=$(realpath "$2")
version=$3
cmake=${CMAKE_COMMAND:-cmake}
cpack=${CPACK_COMMAND:-cpack}
cxx=${CXX:-c++}
unset QEINTEG_CLASSPATH

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Runs a command with the build tree hidden, when a private mount namespace is available.
hidden() {
    if [ "$can_hide" = yes ]; then
        unshare --map-root-user --mount -- bash -c \
            'mount -t tmpfs qeinteg-hidden "$0" && exec "$@"' "$build_dir" "$@"
    else
        "$@"
    fi
}

# ---- consumers (run through `hidden`, by this script itself) ------------------------------------
if [ "${4:-}" = "--consumers" ]; then
    prefix=$5
    work=$6
    jar="$prefix/share/qeinteg/qeinteg-java.jar"
    expected_class_path="$jar:/usr/share/java/jackson-core.jar"
    [ ! -e "$build_dir/CMakeCache.txt" ] || [ "$7" = no ] || fail "the build tree is not hidden"

    check_run() {  # NAME PROGRAM [EXPECTED_CLASS_PATH]: the program runs and says what it should
        local out
        out=$("$2") || fail "$1 failed"
        grep -qxF "class path: ${3:-$expected_class_path}" <<<"$out" ||
            fail "$1 used another class path: $out"
        grep -qxF 'json: {"station":"Seattle","days":1461}' <<<"$out" ||
            fail "$1 did not make the JSON object in the JVM: $out"
        if ldd "$2" | grep -F "$build_dir"; then fail "$1 loads libraries from the build tree"; fi
    }

    "$cmake" -S "$source_dir/tests/install/consumer" -B "$work/cmake-consumer" -G Ninja \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" >"$work/cmake-consumer.log" 2>&1 ||
        { cat "$work/cmake-consumer.log"; fail "find_package(qeinteg) did not configure"; }
    "$cmake" --build "$work/cmake-consumer" -j2 >>"$work/cmake-consumer.log" 2>&1 ||
        { cat "$work/cmake-consumer.log"; fail "the find_package consumer did not build"; }
    check_run "the find_package consumer" "$work/cmake-consumer/consumer"

    pc_dir=$(dirname "$(find "$prefix" -name qeinteg.pc)")
    export PKG_CONFIG_PATH="$pc_dir"
    libdir=$(pkg-config --variable=libdir qeinteg)
    # shellcheck disable=SC2046  # the flags are words
    "$cxx" -std=c++20 -o "$work/pc-consumer" "$source_dir/tests/install/consumer/consumer.cpp" \
        $(pkg-config --cflags --libs qeinteg) -Wl,-rpath,"$libdir" ||
        fail "the pkg-config consumer did not build"
    check_run "the pkg-config consumer" "$work/pc-consumer"

    mkdir -p "$work/elsewhere"
    cp "$jar" "$work/elsewhere/engine.jar"
    override="$work/elsewhere/engine.jar:/usr/share/java/jackson-core.jar"
    QEINTEG_CLASSPATH="$override" check_run "the consumer given QEINTEG_CLASSPATH" \
        "$work/pc-consumer" "$override"
    exit 0
fi

work=$(mktemp -d /tmp/qeinteg-install-test-XXXXXX)
trap 'rm -rf "$work"' EXIT
can_hide=no
if unshare --map-root-user --mount -- bash -c 'mount -t tmpfs none "$0"' "$work" 2>/dev/null; then
    can_hide=yes
else
    echo "note: no private mount namespace here; the build tree stays visible (run-time search" \
        "paths are still checked)"
fi

# ---- install, then move the installed tree --------------------------------------------------------
"$cmake" --install "$build_dir" --prefix "$work/staged" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install failed (is everything built?)"; }
mv "$work/staged" "$work/prefix"
prefix="$work/prefix"

elf_files() { find "$1" -type f -exec sh -c 'head -c4 "$1" | grep -q "ELF"' _ {} \; -print; }
for f in $(elf_files "$prefix"); do
    if readelf -d "$f" | grep -E 'R(UN)?PATH' | grep -F -e "$build_dir" -e "$source_dir"; then
        fail "$f searches the build tree at run time"
    fi
done
if grep -rlF -e "$build_dir" -e "$source_dir" "$prefix/share" "$prefix"/lib*/cmake \
    "$(dirname "$(find "$prefix" -name qeinteg.pc)")"; then
    fail "installed text files name the build or source tree"
fi

# ---- consumers -----------------------------------------------------------------------------------
hidden bash "$0" "$source_dir" "$build_dir" "$version" --consumers "$prefix" "$work" "$can_hide"

# ---- the Debian package --------------------------------------------------------------------------
"$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/deb" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack -G DEB failed"; }
deb=$(find "$work/deb" -maxdepth 1 -name '*.deb')
[ -n "$deb" ] || fail "cpack made no .deb"
dpkg-deb -x "$deb" "$work/unpacked"
for f in usr/bin/qeinteg usr/share/qeinteg/qeinteg-java.jar usr/include/qeinteg/qeinteg_export.h \
    usr/lib/cmake/qeinteg/qeintegConfig.cmake usr/lib/pkgconfig/qeinteg.pc; do
    [ -e "$work/unpacked/$f" ] || fail "the package lacks $f"
done

# Depends must name (directly or through one of its own dependencies) the package of every library
# the packaged files load from the system, and of the jackson jar.
depends=$(dpkg-deb -f "$deb" Depends | tr ',' '\n' | sed 's/^ *//; s/[ (].*//' | grep -v '^$')
allowed=$depends
for p in $depends; do
    allowed+=$'\n'$(dpkg-query -W -f='${Depends}\n' "$p" 2>/dev/null | tr ',|' '\n\n' |
        sed 's/^ *//; s/[ :(].*//')
done
needed_files=/usr/share/java/jackson-core.jar
for f in $(elf_files "$work/unpacked"); do
    # Only what the file itself names: its dependencies' own needs are their packages' business.
    needed=$(readelf -d "$f" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
    needed_files+=$'\n'$(ldd "$f" | awk -v names="$needed" '
        BEGIN { n = split(names, list, "\n"); for (i = 1; i <= n; i++) wanted[list[i]] = 1 }
        $2 == "=>" && ($1 in wanted) && $3 ~ /^\// { print $3 }' | grep -vF "$work/unpacked" || true)
done
owner() {  # the Debian package that installed FILE (dpkg may know it by its /lib or /usr/lib path)
    local real candidate
    real=$(realpath "$1")
    for candidate in "$1" "$real" "${1#/usr}" "${real#/usr}"; do
        dpkg -S "$candidate" 2>/dev/null | head -1 | cut -d: -f1 && return 0
    done
    return 1
}
for file in $(sort -u <<<"$needed_files"); do
    package=$(owner "$file") || fail "no Debian package owns $file"
    grep -qxF "$package" <<<"$allowed" ||
        fail "the package loads $file from $package, which its Depends do not name:" \
            "$(tr '\n' ' ' <<<"$depends")"
done

out=$(hidden "$work/unpacked/usr/bin/qeinteg" --version) || fail "the packaged qeinteg --version failed"
[ "$out" = "qeinteg $version" ] || fail "the packaged qeinteg --version printed '$out'"

echo "installed tree, consumers and Debian package: all well (build tree hidden: $can_hide)"
