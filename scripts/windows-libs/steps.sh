# The steps scripts/build-windows-libs takes for each library: finding
# Debian's source, unpacking it, building it with CMake, configure or (for
# SQLite) as one file, and keeping the result under a key of what it was
# built with. Sourced, with $cache, $toolchain, $jobs, say and die set.

built=0

# --- Debian's sources, through a package list of the script's own ----------
# apt-get source needs deb-src entries; they are made here from the system's
# Debian entries and kept in the cache, so the machine's apt setup is never
# touched.
apt_dir=$cache/apt
apt_opts=(
    -o Dir::Etc::SourceList="$apt_dir/sources.list"
    -o Dir::Etc::SourceParts=/dev/null
    -o Dir::State::Lists="$apt_dir/lists"
    -o Dir::Cache="$apt_dir/cache"
    # The downloads land in the cache, which apt's own unprivileged user
    # cannot write to.
    -o APT::Sandbox::User="$(id -un)"
)

make_source_list() {
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
    local list=$apt_dir/sources.list.new
    : > "$list"
    if [[ -f /etc/apt/sources.list.d/debian.sources ]]; then
        # One "deb-src [signed-by=...] URI SUITE COMPONENTS" line per suite of
        # each deb822 stanza.
        awk '
            function flush(   n, i, s, opt) {
                if (types ~ /(^| )deb( |$)/ && uris != "") {
                    opt = signed != "" ? "[signed-by=" signed "] " : ""
                    n = split(suites, s, " ")
                    for (i = 1; i <= n; i++) print "deb-src " opt uris " " s[i] " " comps
                }
                types = uris = suites = comps = signed = ""
            }
            /^[ \t]*$/ { flush(); next }
            /^#/ { next }
            /^Types:/ { sub(/^Types:[ \t]*/, ""); types = $0 }
            /^URIs:/ { sub(/^URIs:[ \t]*/, ""); uris = $0 }
            /^Suites:/ { sub(/^Suites:[ \t]*/, ""); suites = $0 }
            /^Components:/ { sub(/^Components:[ \t]*/, ""); comps = $0 }
            /^Signed-By:/ { sub(/^Signed-By:[ \t]*/, ""); signed = $0 }
            END { flush() }
        ' /etc/apt/sources.list.d/debian.sources >> "$list"
    fi
    if [[ -f /etc/apt/sources.list ]]; then
        sed -n 's/^[ \t]*deb[ \t]/deb-src /p' /etc/apt/sources.list >> "$list"
    fi
    [[ -s $list ]] || die "no Debian entry in /etc/apt/sources.list.d/debian.sources or /etc/apt/sources.list"
    mv "$list" "$apt_dir/sources.list"
}

# The lists are read again only when a day old, so a run that finds its
# results needs no network.
refresh_lists() {
    if [[ -f $apt_dir/sources.list ]] && [[ -n $(find "$apt_dir/lists" -maxdepth 1 -name '*Sources*' -mmin -1440 -print -quit) ]]; then
        return
    fi
    say "reading Debian's source package lists"
    make_source_list
    apt-get "${apt_opts[@]}" -qq update
}

# versions[PACKAGE]: the newest source version the lists offer, e.g.
# 6.4.2+dfsg-10. Asking apt takes half a second, so the answers are kept
# until the lists change.
declare -A versions=()
resolve_versions() {
    refresh_lists
    local file=$apt_dir/versions package version missing=()
    if [[ -f $file && $file -nt $apt_dir/lists ]]; then
        while read -r package version; do versions[$package]=$version; done < "$file"
    fi
    for package; do
        [[ -n ${versions[$package]:-} ]] || missing+=("$package")
    done
    ((${#missing[@]} > 0)) || return 0
    while read -r package version; do
        versions[$package]=$version
    done < <(apt-get "${apt_opts[@]}" source --print-uris "${missing[@]}" 2>/dev/null \
        | sed -n "s/^'[^']*' \([^_]*\)_\(.*\)\.dsc .*/\1 \2/p")
    for package in "${missing[@]}"; do
        [[ -n ${versions[$package]:-} ]] || die "$package not found in Debian's source lists"
    done
    for package in "${!versions[@]}"; do echo "$package ${versions[$package]}"; done > "$file"
}

# Unpacks PACKAGE's source with Debian's patches applied into DIR and prints
# the tree's path. Debian's mirror may lack an upstream tarball's detached
# signature (an .asc file the .dsc lists), which dpkg-source then refuses
# to unpack without; apt has checked every file it did fetch against the
# archive's signed lists, so such a source is unpacked and patched here as
# dpkg-source would.
fetch_source() {
    local package=$1 dir=$2 version=${versions[$1]}
    say "$package: downloading and unpacking the $version source" >&2
    rm -rf "$dir"
    mkdir -p "$dir"
    (cd "$dir" && apt-get "${apt_opts[@]}" -q source --download-only "$package=$version" > download.log 2>&1) || true
    local dsc=$dir/${package}_${version#*:}.dsc file missing=()
    [[ -f $dsc ]] || { cat "$dir/download.log" >&2; die "apt-get source $package failed"; }
    for file in $(sed -n '/^Files:/,/^[^ ]/s/^ [0-9a-f]* [0-9]* //p' "$dsc"); do
        [[ -f $dir/$file ]] || missing+=("$file")
    done
    if ((${#missing[@]} == 0)); then
        (cd "$dir" && dpkg-source -x "$dsc" tree >> unpack.log 2>&1) \
            || { cat "$dir/unpack.log" >&2; die "dpkg-source could not unpack $package"; }
    else
        for file in "${missing[@]}"; do
            [[ $file == *.asc ]] || { cat "$dir/download.log" >&2; die "$file of $package could not be fetched"; }
        done
        grep -q '^Format: 3.0 (quilt)' "$dsc" && ! compgen -G "$dir/*.orig-*" > /dev/null \
            || die "$package: only a 3.0 (quilt) source of one tarball can be unpacked by hand"
        mkdir "$dir/tree"
        tar -xf "$(compgen -G "$dir/*.orig.tar.*" | grep -v '\.asc$' | head -n 1)" -C "$dir/tree" --strip-components=1
        tar -xf "$(compgen -G "$dir/*.debian.tar.*")" -C "$dir/tree"
        local patch
        if [[ -f $dir/tree/debian/patches/series ]]; then
            while read -r patch _; do
                [[ -z $patch || $patch == \#* ]] && continue
                patch -d "$dir/tree" -p1 --quiet --forward < "$dir/tree/debian/patches/$patch" >> "$dir/unpack.log" 2>&1 \
                    || { cat "$dir/unpack.log" >&2; die "$package: Debian's patch $patch does not apply"; }
            done < "$dir/tree/debian/patches/series"
        fi
    fi
    echo "$dir/tree"
}

# --- results and their keys -------------------------------------------------

# The compiler, its runtime and Windows' headers, by their Debian versions.
compiler_id=$(dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-x86-64-posix \
    gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev 2>/dev/null | tr '\n' ' ')
toolchain_id=$(sha256sum < "$toolchain" | cut -d' ' -f1)

# What a result was built with. The results it was built against are named
# without the cache's own folder, so that the cache can move.
options_stamp() {
    printf '%s\n' "${@//$cache\//}" "toolchain $toolchain_id" "compiler $compiler_id"
}

# result PACKAGE OPTIONS...: the folder of PACKAGE built with OPTIONS.
result() {
    local package=$1
    shift
    local key
    key=$(options_stamp "$@" | sha256sum | cut -c1-10)
    echo "$cache/$package-${versions[$package]}-$key"
}

# True when PREFIX holds a finished build. Its stamp is written last, so a
# stopped build never leaves a result that is taken for whole.
is_built() {
    if [[ -f $1/.build-options ]]; then
        say "$(basename "$1"): reusing it"
        return 0
    fi
    return 1
}

# finish PREFIX HOOK STARTED OPTIONS...: runs HOOK there, stamps the result,
# and removes the build folder, large and of no more use.
finish() {
    local prefix=$1 hook=$2 started=$3
    shift 3
    "$hook" "$prefix"
    options_stamp "$@" > "$prefix/.build-options"
    rm -rf "$cache/build/$(basename "$prefix")"
    built=$((built + 1))
    local took=$((SECONDS - started))
    say "$(basename "$prefix"): done in $((took / 60)) min $((took % 60)) s, $(du -sh "$prefix" | cut -f1)"
}

# Ninja's "[n/N] ..." lines, one every 30 s; everything goes to the log.
# Qt's own headers draw thousands of harmless warnings from MinGW's GCC, so
# the compiler's words are shown only for a step that failed.
thin_progress() {
    local log=$1 last=-30 line shown="" pending=""
    while IFS= read -r line; do
        printf '%s\n' "$line" >> "$log"
        if [[ $line =~ ^\[[0-9]+/[0-9]+\] ]]; then
            if ((SECONDS - last >= 30)); then
                last=$SECONDS
                shown=$line
                printf '  %s %.110s\n' "$(date +%T)" "$line" >&2
            fi
            pending=$line
        fi
    done
    if [[ -n $pending && $pending != "$shown" ]]; then
        printf '  %s %.110s\n' "$(date +%T)" "$pending" >&2
    fi
}

# What ninja said about each failed step, without the warnings around it.
show_failures() {
    awk '/^FAILED:/ { on = 1 } /^\[[0-9]+\/[0-9]+\]/ { on = 0 } on' "$1" \
        | grep -v -e 'warning:' -e '^ *|' -e '^ *[0-9]* |' -e 'In file included from' -e '^  *from ' \
        | cut -c1-400 | head -n 60 >&2
}

# Runs a build step at the lowest priority, so that another developer's
# timing-sensitive tests on the same machine keep the cores they want; its
# words go to LOG, and their end is shown if it fails.
# Usage: quietly LOG WHAT COMMAND...
quietly() {
    local log=$1 what=$2
    shift 2
    nice -n 19 "$@" >> "$log" 2>&1 || { tail -n 40 "$log" >&2; die "$what failed; the whole output is in $log"; }
}

# Configures, builds and installs one CMake project into PREFIX, then runs
# HOOK there.
# Usage: cmake_build PACKAGE SUBFOLDER PREFIX HOOK CMAKE-OPTIONS...
cmake_build() {
    local package=$1 subfolder=$2 prefix=$3 hook=$4 started=$SECONDS
    shift 4
    local build source
    build=$cache/build/$(basename "$prefix")
    source=$(fetch_source "$package" "$build/source")/$subfolder
    say "$package: configuring"
    quietly "$build/configure.log" "$package: configure" \
        cmake -S "$source" -B "$build/out" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_BUILD_TYPE=Release \
            -DCMAKE_INSTALL_PREFIX="$prefix" \
            "$@"
    local total
    total=$(ninja -C "$build/out" -t commands 2>/dev/null | wc -l)
    say "$package: compiling, about $total steps, $jobs jobs (log: $build/build.log)"
    : > "$build/build.log"
    if ! nice -n 19 ninja -C "$build/out" -j "$jobs" 2>&1 | thin_progress "$build/build.log"; then
        show_failures "$build/build.log"
        die "$package: build failed; the whole output is in $build/build.log"
    fi
    rm -rf "$prefix"
    quietly "$build/install.log" "$package: install" cmake --install "$build/out" --strip
    finish "$prefix" "$hook" "$started" "$@"
}

# The same for a project built with its configure script.
# Usage: configure_build PACKAGE PREFIX HOOK CONFIGURE-OPTIONS...
configure_build() {
    local package=$1 prefix=$2 hook=$3 started=$SECONDS
    shift 3
    local build source
    build=$cache/build/$(basename "$prefix")
    source=$(fetch_source "$package" "$build/source")
    mkdir -p "$build/out"
    say "$package: configuring and compiling, $jobs jobs (log: $build/build.log)"
    rm -rf "$prefix"
    (
        cd "$build/out"
        quietly "$build/build.log" "$package: configure" "$source/configure" \
            --host=x86_64-w64-mingw32 --prefix="$prefix" \
            CC=x86_64-w64-mingw32-gcc-posix "$@"
        quietly "$build/build.log" "$package: build" make -j "$jobs"
        quietly "$build/build.log" "$package: install" make install-strip
    )
    finish "$prefix" "$hook" "$started" "$@"
}

# SQLite's sources are put together into one C file (its "amalgamation") by
# Tcl scripts and tools built for this machine, then that file alone is
# compiled for Windows. The grammar depends on the options, so both steps
# get them.
# Usage: build_sqlite PREFIX DEFINES...
build_sqlite() {
    local prefix=$1 started=$SECONDS
    shift
    local build source
    build=$cache/build/$(basename "$prefix")
    source=$(fetch_source sqlite3 "$build/source")
    mkdir -p "$build/out"
    say "sqlite3: putting the sources together, then compiling (log: $build/build.log)"
    (
        cd "$build/out"
        quietly "$build/build.log" "sqlite3: configure" "$source/configure" \
            --disable-tcl --disable-readline CFLAGS="-O2 $*"
        quietly "$build/build.log" "sqlite3: the amalgamation" make sqlite3.c
        quietly "$build/build.log" "sqlite3: compile" x86_64-w64-mingw32-gcc-posix \
            -O2 -fno-strict-aliasing "$@" -c sqlite3.c -o sqlite3.o
    )
    rm -rf "$prefix"
    mkdir -p "$prefix/include" "$prefix/lib"
    x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" "$build/out/sqlite3.o"
    cp "$build/out/sqlite3.h" "$build/out/sqlite3ext.h" "$prefix/include/"
    finish "$prefix" true "$started" "$@"
}
